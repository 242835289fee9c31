#include "quarn/sound/stream.h"

#include <cstring>

#include "quarn/platform/mmtimer.h"
#include "quarn/sound/ds.h"

WaveStream Wave_streams[MAX_WAVE_STREAMS];
PlatformCriticalSection Stream_lock;

namespace {

// Shared by every stream; the lock serialises their use. The source block
// holds the compressed bytes of one full decode block, whatever the ratio.
uint8_t Decode_scratch[STREAM_DECODE_SCRATCH];
uint8_t Source_scratch[STREAM_DECODE_SCRATCH + 65536];

bool Acm_ready = false;
AcmDriver Acm_driver = 0;
AcmDriverId Acm_found = 0;

void timer_callback(uint32_t id, uintptr_t user) {
  PlatformLockGuard lk(Stream_lock);
  int rec = static_cast<int>(user);
  if (rec < 0 || rec >= MAX_WAVE_STREAMS) return;
  // An event killed while it was already on its way finds its record gone
  // or taken by another stream.
  if (!(Wave_streams[rec].flags & WSF_ACTIVE) || Wave_streams[rec].timer != id) return;
  stream_service(rec);
}

void clear_record(WaveStream& w) {
  w.sound = -1;
  w.channel = -1;
  w.ring_size = 0;
  w.write_pos = 0;
  w.timer = 0;
  w.silence_written = 0;
  w.flags = 0;
}

void copy_into(void* p1, uint32_t n1, void* p2, uint32_t n2, const uint8_t* src, uint32_t n) {
  uint32_t a = n < n1 ? n : n1;
  std::memcpy(p1, src, a);
  if (n > a && p2) std::memcpy(p2, src + a, std::min(n - a, n2));
}

// Reads up to n bytes of the sound's data into two regions; returns the bytes.
uint32_t read_pcm(LoadedSound& s, void* p1, uint32_t n1, void* p2, uint32_t n2) {
  uint32_t got1 = 0, got2 = 0;
  if (wave_read(s.file, n1, static_cast<uint8_t*>(p1), &s.data_chunk, &got1) != 0) return 0;
  if (p2 && n2 && got1 == n1)
    if (wave_read(s.file, n2, static_cast<uint8_t*>(p2), &s.data_chunk, &got2) != 0) got2 = 0;
  return got1 + got2;
}

// Decodes up to want bytes of PCM into Decode_scratch; returns the bytes made
// and sets *read_any when the file gave anything at all.
uint32_t decode_adpcm(LoadedSound& s, uint32_t want, bool* read_any) {
  *read_any = false;
  if (want > STREAM_DECODE_SCRATCH) want = STREAM_DECODE_SCRATCH;
  int need = acm_source_size(s.acm_stream, want);
  if (need <= 0) return 0;
  uint32_t n = static_cast<uint32_t>(need);
  if (n > sizeof(Source_scratch)) n = sizeof(Source_scratch);
  uint32_t got = 0;
  if (wave_read(s.file, n, Source_scratch, &s.data_chunk, &got) != 0 || got == 0) return 0;
  *read_any = true;
  uint32_t dused = 0, sused = 0;
  if (acm_convert(s.acm_stream, Source_scratch, got, Decode_scratch, want, &dused, &sused) != 0) {
    dused = 0;
    sused = 0;
  }
  // Give back what the conversion did not take: the next refill starts there.
  if (sused < got) {
    mmio_seek(s.file, -static_cast<long>(got - sused), SEEK_CUR);
    s.data_chunk.size += got - sused;
  }
  return dused;
}

}  // namespace

void stream_init() {
  mm_time_begin_period(1);
  for (WaveStream& w : Wave_streams) clear_record(w);
}

void stream_close() {
  PlatformLockGuard lk(Stream_lock);
  for (int i = 0; i < MAX_WAVE_STREAMS; ++i)
    if (Wave_streams[i].flags & WSF_ACTIVE) stream_stop(i);
  mm_time_end_period(1);
}

bool stream_feeds(int record, int channel) {
  if (record < 0 || record >= MAX_WAVE_STREAMS) return false;
  const WaveStream& w = Wave_streams[record];
  return (w.flags & WSF_ACTIVE) && w.channel == channel;
}

uint32_t stream_timer_start(uint32_t period_ms, int record) {
  return mm_time_set_event(period_ms, period_ms, timer_callback, static_cast<uintptr_t>(record));
}

int stream_play(int sound, int channel, bool looping) {
  PlatformLockGuard lk(Stream_lock);
  for (int i = 0; i < MAX_WAVE_STREAMS; ++i) {
    WaveStream& w = Wave_streams[i];
    if (w.flags & WSF_ACTIVE) continue;
    w.flags = WSF_ACTIVE | (looping ? WSF_LOOPING : 0);
    w.sound = sound;
    w.channel = channel;
    w.write_pos = 0;
    w.silence_written = 0;
    w.ring_size = 2 * Loaded_sounds[sound].buffer_format->bytes_per_second;
    w.timer = stream_timer_start(STREAM_PERIOD_MS, i);
    if (!w.timer) {
      w.flags = 0;
      return -1;
    }
    return i;
  }
  return -1;
}

void stream_stop(int record) {
  if (record < 0 || record >= MAX_WAVE_STREAMS) return;
  PlatformLockGuard lk(Stream_lock);
  WaveStream& w = Wave_streams[record];
  if (w.channel >= 0 && w.channel < MAX_SOUND_CHANNELS && Sound_channels[w.channel].pdsb)
    Sound_channels[w.channel].pdsb->stop();
  w.channel = -1;
  // Never waits for the timer thread: this may run inside the callback, or
  // on the main thread while the callback waits for the lock we hold.
  if (w.timer) mm_time_kill_event(w.timer);
  w.timer = 0;
  w.flags = 0;
  w.sound = -1;
}

void stream_service(int record) {
  if (record < 0 || record >= MAX_WAVE_STREAMS) return;
  PlatformLockGuard lk(Stream_lock);
  WaveStream& w = Wave_streams[record];
  if (!(w.flags & WSF_ACTIVE) || w.channel < 0 || w.sound < 0 || w.ring_size == 0) return;
  SoundChannel& c = Sound_channels[w.channel];
  LoadedSound& s = Loaded_sounds[w.sound];
  if (!c.pdsb || !s.file || !s.buffer_format) return;
  uint32_t play = 0;
  uint32_t free = 0;
  if (!ds_failed(c.pdsb->get_current_position(&play, nullptr)))
    free = (play + w.ring_size - w.write_pos) % w.ring_size;
  // A late timer may find most of the ring free: one refill never holds more
  // than the decode scratch; the next tick takes the rest.
  uint32_t align = s.buffer_format->block_align ? s.buffer_format->block_align : 1;
  if (free > STREAM_DECODE_SCRATCH) free = STREAM_DECODE_SCRATCH / align * align;
  if (free == 0) return;
  void *p1 = nullptr, *p2 = nullptr;
  uint32_t n1 = 0, n2 = 0;
  if (ds_failed(c.pdsb->lock(w.write_pos, free, &p1, &n1, &p2, &n2, false))) return;
  uint32_t written = 0;
  if (s.file_format->tag == WAVE_FORMAT_ADPCM) {
    bool any = false;
    written = decode_adpcm(s, free, &any);
    if (!any) w.flags |= WSF_END_OF_DATA;
    copy_into(p1, n1, p2, n2, Decode_scratch, written);
  } else {
    written = read_pcm(s, p1, n1, p2, n2);
    if (written < free) w.flags |= WSF_END_OF_DATA;
  }
  c.pdsb->unlock(p1, n1, p2, n2);
  w.write_pos = (w.write_pos + written) % w.ring_size;
  if (!(w.flags & WSF_END_OF_DATA)) return;
  w.flags &= ~WSF_END_OF_DATA;
  uint32_t rest = free - written;
  if (w.flags & WSF_LOOPING) wave_find_data(s.file, &s.data_chunk, &s.riff_chunk);
  w.silence_written += rest;
  bool filled = true;
  if (rest > 0) {
    filled = !ds_failed(c.pdsb->lock(w.write_pos, rest, &p1, &n1, &p2, &n2, false));
    if (filled) {
      uint8_t silence = s.buffer_format->bits == 8 ? 128 : 0;
      std::memset(p1, silence, n1);
      if (p2) std::memset(p2, silence, n2);
      c.pdsb->unlock(p1, n1, p2, n2);
      w.write_pos = (w.write_pos + rest) % w.ring_size;
    }
  }
  if (filled && !(w.flags & WSF_LOOPING) && w.silence_written >= w.ring_size) {
    w.silence_written = 0;
    stream_stop(record);
  }
}

int ds_stream_play(int slot, float volume, float pan, bool looping) {
  if (!ds_initialized() || slot < 0 || slot >= MAX_LOADED_SOUNDS) return -1;
  LoadedSound& s = Loaded_sounds[slot];
  if (!s.file || !s.buffer_format) return -1;
  int ch = ds_free_channel();
  if (ch < 0) return -1;
  SoundChannel& c = Sound_channels[ch];
  DsBufferDesc d;
  d.flags = DSBCAPS_LOCSOFTWARE | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
  d.bytes = 2 * s.buffer_format->bytes_per_second;
  d.format = s.buffer_format;
  if (ds_failed(ds_device()->create_sound_buffer(d, &c.pdsb))) {
    c.pdsb = nullptr;
    ds_release_channel(ch, true);
    return -1;
  }
  uint32_t first_fill = 0;
  {
    PlatformLockGuard lk(Stream_lock);
    if (wave_find_data(s.file, &s.data_chunk, &s.riff_chunk) != 0) {
      ds_release_channel(ch, true);
      return -1;
    }
    void* p1 = nullptr;
    uint32_t n1 = 0;
    if (ds_failed(c.pdsb->lock(0, 0, &p1, &n1, nullptr, nullptr, true))) {
      ds_release_channel(ch, true);
      return -1;
    }
    bool ok = true;
    if (s.file_format->tag == WAVE_FORMAT_ADPCM && !s.acm_stream) {
      WaveFormat pcm;
      ok = acm_open_stream(s.file_format, &pcm, &s.acm_stream, 16) == 0;
    }
    // A looping sound shorter than the ring goes on from its start at once,
    // rather than after a stretch of silence as long as the ring's tail.
    uint32_t filled = 0;
    bool rewound = false;
    while (ok && filled < n1) {
      uint32_t got = 0;
      if (s.file_format->tag == WAVE_FORMAT_ADPCM) {
        bool any = false;
        got = decode_adpcm(s, n1 - filled, &any);
        std::memcpy(static_cast<uint8_t*>(p1) + filled, Decode_scratch, got);
      } else {
        ok = wave_read(s.file, n1 - filled, static_cast<uint8_t*>(p1) + filled, &s.data_chunk, &got) == 0;
      }
      filled += got;
      if (got > 0) {
        rewound = false;
        continue;
      }
      if (!looping || rewound || s.data_chunk.size > 0) break;
      ok = wave_find_data(s.file, &s.data_chunk, &s.riff_chunk) == 0;
      rewound = true;
    }
    c.pdsb->unlock(p1, n1, nullptr, 0);
    first_fill = filled;
    if (!ok) {
      ds_release_channel(ch, true);
      return -1;
    }
  }
  c.flags |= SCF_STREAMED;
  c.category = s.category;
  c.pdsb->set_volume(ds_volume_to_mb(volume));
  c.volume = volume;
  c.pdsb->set_pan(static_cast<int>(pan * 1000.0f));
  c.sound = slot;
  c.stream = stream_play(slot, ch, looping);
  if (c.stream < 0) {
    ds_release_channel(ch, true);
    return -1;
  }
  {
    // Decoded data comes in whole blocks and may stop short of the ring's
    // end: the first refill goes on right after it, leaving no gap.
    PlatformLockGuard lk(Stream_lock);
    if (first_fill > 0) Wave_streams[c.stream].write_pos = first_fill % Wave_streams[c.stream].ring_size;
  }
  return ds_start_channel(ch, true);
}

// ---- Wave files --------------------------------------------------------------------

namespace {

// Plain PCM of the given shape, as buffers are made and decoders write.
WaveFormat pcm_format(uint16_t channels, uint32_t rate, uint16_t bits) {
  WaveFormat f;
  f.tag = WAVE_FORMAT_PCM;
  f.channels = channels;
  f.rate = rate;
  f.bits = bits;
  f.block_align = static_cast<uint16_t>(bits * channels / 8);
  f.bytes_per_second = f.block_align * rate;
  return f;
}

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

int wave_open_file(MmioFile* f, uint32_t offset, MmioFile** file, WaveFormat** file_format,
                   WaveFormat** buffer_format, MmioChunk* riff) {
  *file = nullptr;
  *file_format = nullptr;
  *buffer_format = nullptr;
  auto fail = [&]() {
    wave_free_formats(file_format, buffer_format);
    mmio_close(f);
    return -1;
  };
  if (!f) return -1;
  if (offset != 0 && mmio_seek(f, static_cast<long>(offset), SEEK_SET) < 0) return fail();
  riff->form_type = mmio_fourcc('W', 'A', 'V', 'E');
  if (mmio_descend(f, riff, nullptr, MMIO_FINDRIFF) != 0) return fail();
  MmioChunk fmt;
  fmt.id = mmio_fourcc('f', 'm', 't', ' ');
  if (mmio_descend(f, &fmt, riff, MMIO_FINDCHUNK) != 0 || fmt.size < 16) return fail();
  uint8_t b[16];
  if (mmio_read(f, b, 16) != 16) return fail();
  uint16_t tag = le16(b);
  uint16_t extra = 0;
  if (tag != WAVE_FORMAT_PCM) {
    uint8_t e[2];
    if (fmt.size < 18 || mmio_read(f, e, 2) != 2) return fail();
    extra = le16(e);
    if (extra > sizeof(WaveFormat::extra) || 18u + extra > fmt.size) return fail();
  }
  *file_format = new WaveFormat();
  *buffer_format = new WaveFormat();
  WaveFormat& ff = **file_format;
  ff.tag = tag;
  ff.channels = le16(b + 2);
  ff.rate = le32(b + 4);
  ff.bytes_per_second = le32(b + 8);
  ff.block_align = le16(b + 12);
  ff.bits = le16(b + 14);
  ff.extra_size = extra;
  if (extra && mmio_read(f, ff.extra, extra) != extra) return fail();
  if (tag != WAVE_FORMAT_PCM && tag != WAVE_FORMAT_ADPCM) return fail();
  if (ff.channels < 1 || ff.channels > 2 || ff.rate < 100 || ff.rate > 100000) return fail();
  if (tag == WAVE_FORMAT_PCM && ff.bits != 8 && ff.bits != 16) return fail();
  **buffer_format = pcm_format(ff.channels, ff.rate, tag == WAVE_FORMAT_ADPCM ? 16 : ff.bits);
  if (mmio_ascend(f, &fmt) != 0) return fail();
  *file = f;
  return 0;
}

}  // namespace

int wave_open(const char* path, uint32_t offset, MmioFile** file, WaveFormat** file_format,
              WaveFormat** buffer_format, MmioChunk* riff) {
  return wave_open_file(mmio_open(path), offset, file, file_format, buffer_format, riff);
}

int wave_open_memory(const void* data, uint32_t size, MmioFile** file, WaveFormat** file_format,
                     WaveFormat** buffer_format, MmioChunk* riff) {
  return wave_open_file(mmio_open_memory(data, size), 0, file, file_format, buffer_format, riff);
}

void wave_free_formats(WaveFormat** file_format, WaveFormat** buffer_format) {
  delete *file_format;
  delete *buffer_format;
  *file_format = nullptr;
  *buffer_format = nullptr;
}

int wave_find_data(MmioFile* file, MmioChunk* data, const MmioChunk* riff) {
  if (!file || !data || !riff) return -1;
  if (mmio_seek(file, static_cast<long>(riff->data_offset) + 4, SEEK_SET) < 0) return -1;
  data->id = mmio_fourcc('d', 'a', 't', 'a');
  if (mmio_descend(file, data, riff, MMIO_FINDCHUNK) != 0) return -1;
  // A size that claims more than the file holds counts what is there.
  long end = mmio_seek(file, 0, SEEK_END);
  if (end < 0 || mmio_seek(file, data->data_offset, SEEK_SET) < 0) return -1;
  uint64_t have = static_cast<uint64_t>(end) > data->data_offset ? static_cast<uint64_t>(end) - data->data_offset : 0;
  if (data->size > have) data->size = static_cast<uint32_t>(have);
  return 0;
}

int wave_read(MmioFile* file, uint32_t n, uint8_t* dest, MmioChunk* data, uint32_t* read) {
  *read = 0;
  if (!file || !data) return -1;
  if (n > data->size) n = data->size;
  data->size -= n;
  if (n == 0) return 0;
  long got = mmio_read(file, dest, static_cast<long>(n));
  if (got <= 0) return -1;
  *read = static_cast<uint32_t>(got);
  return 0;
}

void wave_close(MmioFile* file) { mmio_close(file); }

// ---- Decompression ------------------------------------------------------------------

namespace {
bool find_adpcm_driver(AcmDriverId id, uintptr_t, uint32_t support) {
  AcmDriverDetails d;
  if (acm_driver_details(id, &d) != 0) std::strcpy(d.short_name, "????");
  if (std::strcmp(d.short_name, "MS-ADPCM") != 0) return true;
  if (!(support & ACMDRIVERDETAILS_SUPPORTF_DISABLED)) Acm_found = id;
  return false;
}
}  // namespace

int acm_init() {
  if (Acm_ready) return 0;
  if (!ds_platform_library_available("msacm32.dll")) return -1;
  if (acm_get_version() < 0x03320000u) return -1;
  Acm_found = 0;
  acm_driver_enum(find_adpcm_driver, 0, ACM_DRIVERENUMF_DISABLED);
  if (!Acm_found || acm_driver_open(&Acm_driver, Acm_found) != 0) return -1;
  Acm_ready = true;
  return 0;
}

void acm_close() {
  if (!Acm_ready) return;
  acm_driver_close(Acm_driver);
  Acm_ready = false;
}

int acm_open_stream(const WaveFormat* src, WaveFormat* dst, AcmStream** stream, int bits) {
  *stream = nullptr;
  if (acm_init() != 0 || !src) return -1;
  *dst = pcm_format(src->channels, src->rate, static_cast<uint16_t>(bits));
  return acm_stream_open(stream, Acm_driver, *src, *dst, ACM_STREAMOPENF_NONREALTIME) == 0 ? 0 : -1;
}

int acm_convert(AcmStream* stream, const uint8_t* src, uint32_t src_bytes, uint8_t* dst,
                uint32_t dst_bytes, uint32_t* dst_used, uint32_t* src_used) {
  *dst_used = 0;
  *src_used = 0;
  if (!stream) return -1;
  AcmStreamHeader h;
  h.src = src;
  h.src_length = src_bytes;
  h.dst = dst;
  h.dst_length = dst_bytes;
  if (acm_stream_prepare_header(stream, &h) != 0) return -1;
  uint32_t r = acm_stream_convert(stream, &h);
  acm_stream_unprepare_header(stream, &h);
  if (r != 0) return -1;
  *dst_used = h.dst_used;
  *src_used = h.src_used;
  return 0;
}

namespace {
int stream_size(AcmStream* stream, uint32_t bytes, uint32_t which) {
  uint32_t out = 0;
  if (!stream || acm_stream_size(stream, bytes, &out, which) != 0 || out > 0x7fffffffu) return -1;
  return static_cast<int>(out);
}
}  // namespace

int acm_source_size(AcmStream* stream, uint32_t dst_bytes) {
  return stream_size(stream, dst_bytes, ACM_STREAMSIZEF_DESTINATION);
}

int acm_dest_size(AcmStream* stream, uint32_t src_bytes) {
  return stream_size(stream, src_bytes, ACM_STREAMSIZEF_SOURCE);
}

int acm_close_stream(AcmStream* stream) {
  if (!stream) return -1;
  return acm_stream_close(stream) == 0 ? 0 : -1;
}
