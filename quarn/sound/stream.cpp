#include "quarn/sound/stream.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "quarn/os/console.h"
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

// Damage met on the timer thread waits here for the main thread to say it.
char Damage_report[320];
bool Damage_pending = false;

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
  w.file = nullptr;
  w.data_chunk = MmioChunk{};
  w.riff_chunk = MmioChunk{};
  w.acm_stream = nullptr;
  w.data_bytes = 0;
}

void close_record_file(WaveStream& w) {
  if (w.acm_stream) acm_close_stream(w.acm_stream);
  if (w.file) wave_close(w.file);
  w.acm_stream = nullptr;
  w.file = nullptr;
}

void copy_into(void* p1, uint32_t n1, void* p2, uint32_t n2, const uint8_t* src, uint32_t n) {
  uint32_t a = n < n1 ? n : n1;
  std::memcpy(p1, src, a);
  if (n > a && p2) std::memcpy(p2, src + a, std::min(n - a, n2));
}

int record_of(const WaveStream& w) { return static_cast<int>(&w - Wave_streams); }

void note_damage(WaveStream& w, uint32_t at) {
  const char* name = w.sound >= 0 ? Loaded_sounds[w.sound].name : "?";
  std::snprintf(Damage_report, sizeof(Damage_report),
                "Sound %s is damaged at byte %u of its data: it stops there\n", name, at);
  Damage_pending = true;
  w.flags |= WSF_DAMAGED;
  w.flags &= ~WSF_LOOPING;
  // Nothing after the damage is read: the stream plays out what it has.
  w.data_chunk.size = 0;
}

// Reads up to n1 + n2 bytes of the stream's data into two regions; returns
// the bytes read.
uint32_t read_pcm(WaveStream& w, void* p1, uint32_t n1, void* p2, uint32_t n2) {
  uint32_t got1 = 0, got2 = 0;
  if (wave_read(w.file, n1, static_cast<uint8_t*>(p1), &w.data_chunk, &got1) != 0) return 0;
  if (p2 && n2 && got1 == n1)
    if (wave_read(w.file, n2, static_cast<uint8_t*>(p2), &w.data_chunk, &got2) != 0) got2 = 0;
  return got1 + got2;
}

// Decodes up to want bytes of PCM into Decode_scratch; returns the bytes
// made. Data that cannot be read or decoded is noted as damage.
uint32_t decode_adpcm(WaveStream& w, uint32_t want) {
  if (want > STREAM_DECODE_SCRATCH) want = STREAM_DECODE_SCRATCH;
  uint32_t left = w.data_chunk.size;
  if (left == 0) return 0;
  uint32_t at = w.data_bytes - left;
  int need = acm_source_size(w.acm_stream, want);
  if (need <= 0) {
    note_damage(w, at);
    return 0;
  }
  uint32_t n = static_cast<uint32_t>(need);
  if (n > sizeof(Source_scratch)) n = sizeof(Source_scratch);
  uint32_t got = 0;
  if (wave_read(w.file, n, Source_scratch, &w.data_chunk, &got) != 0 || got == 0) {
    note_damage(w, at);
    return 0;
  }
  uint32_t dused = 0, sused = 0;
  if (acm_convert(w.acm_stream, Source_scratch, got, Decode_scratch, want, &dused, &sused) != 0) {
    // The blocks before the bad one decoded and are kept.
    note_damage(w, at + sused);
    return dused;
  }
  // Give back what the conversion did not take: the next refill starts there.
  if (sused < got) {
    mmio_seek(w.file, -static_cast<long>(got - sused), SEEK_CUR);
    w.data_chunk.size += got - sused;
  }
  return dused;
}

// Up to want bytes of the stream's data into the two regions (PCM read in
// place, MS-ADPCM decoded through the scratch); returns the bytes written.
uint32_t fill_regions(WaveStream& w, const LoadedSound& s, void* p1, uint32_t n1, void* p2,
                      uint32_t n2) {
  if (s.file_format->tag == WAVE_FORMAT_ADPCM) {
    uint32_t got = decode_adpcm(w, n1 + n2);
    copy_into(p1, n1, p2, n2, Decode_scratch, got);
    return got;
  }
  return read_pcm(w, p1, n1, p2, n2);
}

// Writes n bytes of silence at the write position.
bool write_silence(WaveStream& w, DsBuffer* ring, uint8_t silence, uint32_t n) {
  if (n == 0) return true;
  void *p1 = nullptr, *p2 = nullptr;
  uint32_t n1 = 0, n2 = 0;
  if (ds_failed(ring->lock(w.write_pos, n, &p1, &n1, &p2, &n2, false))) return false;
  std::memset(p1, silence, n1);
  if (p2) std::memset(p2, silence, n2);
  ring->unlock(p1, n1, p2, n2);
  w.write_pos = (w.write_pos + n) % w.ring_size;
  return true;
}

}  // namespace

void stream_init() {
  mm_time_begin_period(1);
  PlatformLockGuard lk(Stream_lock);
  for (WaveStream& w : Wave_streams) clear_record(w);
  Damage_pending = false;
}

void stream_close() {
  PlatformLockGuard lk(Stream_lock);
  for (int i = 0; i < MAX_WAVE_STREAMS; ++i)
    if (Wave_streams[i].flags & WSF_ACTIVE) stream_stop(i);
  mm_time_end_period(1);
}

void stream_report_damage() {
  char text[sizeof(Damage_report)];
  {
    PlatformLockGuard lk(Stream_lock);
    if (!Damage_pending) return;
    Damage_pending = false;
    std::memcpy(text, Damage_report, sizeof(text));
  }
  ds_diagnostic("%s", text);
  console_printf("%s", text);
  std::fprintf(stderr, "%s", text);
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
  if (sound < 0 || sound >= MAX_LOADED_SOUNDS) return -1;
  PlatformLockGuard lk(Stream_lock);
  const LoadedSound& s = Loaded_sounds[sound];
  if (!s.file_format || !s.buffer_format) return -1;
  for (int i = 0; i < MAX_WAVE_STREAMS; ++i) {
    WaveStream& w = Wave_streams[i];
    if (w.flags & WSF_ACTIVE) continue;
    clear_record(w);
    WaveFormat *ff = nullptr, *bf = nullptr;
    if (wave_open(s.path, s.offset, &w.file, &ff, &bf, &w.riff_chunk) != 0) return -1;
    wave_free_formats(&ff, &bf);
    if (s.file_format->tag == WAVE_FORMAT_ADPCM) {
      WaveFormat pcm;
      if (acm_open_stream(s.file_format, &pcm, &w.acm_stream, 16) != 0) {
        close_record_file(w);
        return -1;
      }
    }
    w.flags = WSF_ACTIVE | (looping ? WSF_LOOPING : 0);
    w.sound = sound;
    w.channel = channel;
    w.ring_size = 2 * s.buffer_format->bytes_per_second;
    w.timer = stream_timer_start(STREAM_PERIOD_MS, i);
    if (!w.timer) {
      close_record_file(w);
      clear_record(w);
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
  close_record_file(w);
  w.flags = 0;
  w.sound = -1;
}

namespace {

// The data ran out (or was damaged) in a refill that had room for rest more
// bytes: a looping stream starts its file again after that much silence; a
// stream that ends keeps its channel until the silence behind its data has
// gone round the whole ring, that is until its last sample has been heard.
void data_ended(WaveStream& w, DsBuffer* ring, uint8_t silence, uint32_t rest) {
  if ((w.flags & WSF_LOOPING) && wave_find_data(w.file, &w.data_chunk, &w.riff_chunk) != 0)
    note_damage(w, w.data_bytes);
  if (w.flags & WSF_LOOPING) w.silence_written = 0;
  w.silence_written += rest;
  bool filled = write_silence(w, ring, silence, rest);
  if (filled && !(w.flags & WSF_LOOPING) && w.silence_written >= w.ring_size) {
    w.silence_written = 0;
    stream_stop(record_of(w));
  }
}

}  // namespace

void stream_service(int record) {
  if (record < 0 || record >= MAX_WAVE_STREAMS) return;
  PlatformLockGuard lk(Stream_lock);
  WaveStream& w = Wave_streams[record];
  if (!(w.flags & WSF_ACTIVE) || w.channel < 0 || w.sound < 0 || w.ring_size == 0) return;
  SoundChannel& c = Sound_channels[w.channel];
  LoadedSound& s = Loaded_sounds[w.sound];
  if (!c.pdsb || !w.file || !s.buffer_format || !s.file_format) return;
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
  uint32_t written = fill_regions(w, s, p1, n1, p2, n2);
  c.pdsb->unlock(p1, n1, p2, n2);
  w.write_pos = (w.write_pos + written) % w.ring_size;
  // The end is where the data ends, not a refill later that reads nothing.
  // Decoded data comes in whole blocks, so a short MS-ADPCM refill is not
  // an end; a short PCM read is (a file cut off before its stated size).
  bool pcm = s.file_format->tag != WAVE_FORMAT_ADPCM;
  if (w.data_chunk.size > 0 && !(pcm && written < free)) return;
  data_ended(w, c.pdsb, s.buffer_format->bits == 8 ? 128 : 0, free - written);
}

int stream_first_fill(int record) {
  if (record < 0 || record >= MAX_WAVE_STREAMS) return -1;
  PlatformLockGuard lk(Stream_lock);
  WaveStream& w = Wave_streams[record];
  if (!(w.flags & WSF_ACTIVE) || w.channel < 0 || w.sound < 0) return -1;
  SoundChannel& c = Sound_channels[w.channel];
  const LoadedSound& s = Loaded_sounds[w.sound];
  if (!c.pdsb || wave_find_data(w.file, &w.data_chunk, &w.riff_chunk) != 0) return -1;
  w.data_bytes = w.data_chunk.size;
  void* p1 = nullptr;
  uint32_t n1 = 0;
  if (ds_failed(c.pdsb->lock(0, 0, &p1, &n1, nullptr, nullptr, true))) return -1;
  uint8_t* ring = static_cast<uint8_t*>(p1);
  bool looping = (w.flags & WSF_LOOPING) != 0;
  // A looping sound shorter than the ring goes on from its start at once,
  // rather than after a stretch of silence as long as the ring's tail.
  uint32_t filled = 0;
  bool rewound = false, ok = true;
  while (ok && filled < n1) {
    uint32_t got = fill_regions(w, s, ring + filled, n1 - filled, nullptr, 0);
    filled += got;
    if (w.flags & WSF_DAMAGED) break;
    if (got > 0) {
      rewound = false;
      continue;
    }
    if (!looping || rewound || w.data_chunk.size > 0) break;
    ok = wave_find_data(w.file, &w.data_chunk, &w.riff_chunk) == 0;
    rewound = true;
  }
  uint8_t silence = s.buffer_format->bits == 8 ? 128 : 0;
  bool ended = w.data_chunk.size == 0 && (!looping || (w.flags & WSF_DAMAGED));
  if (ended) std::memset(ring + filled, silence, n1 - filled);
  c.pdsb->unlock(p1, n1, nullptr, 0);
  if (!ok) return -1;
  if (ended) {
    // The whole ring is written: data, then silence that counts toward the
    // end, so the stream stops once the data has been heard, not a ring later
    // and not after the data came round again.
    w.write_pos = 0;
    w.silence_written = w.ring_size - filled;
    return 0;
  }
  if (looping && w.data_chunk.size == 0 && wave_find_data(w.file, &w.data_chunk, &w.riff_chunk) != 0)
    return -1;
  // Decoded data comes in whole blocks and may stop short of the ring's
  // end: the first refill goes on right after it, leaving no gap.
  w.write_pos = filled % w.ring_size;
  return 0;
}

int ds_stream_play(int slot, float volume, float pan, bool looping) {
  if (!ds_initialized() || slot < 0 || slot >= MAX_LOADED_SOUNDS) return -1;
  LoadedSound& s = Loaded_sounds[slot];
  // A slot loaded as a whole sound has a static buffer and is played, not
  // streamed.
  if (!s.file || !s.buffer_format || s.pdsb) return -1;
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
  {
    PlatformLockGuard lk(Stream_lock);
    c.flags |= SCF_STREAMED;
    c.sound = slot;
    c.stream = stream_play(slot, ch, looping);
    if (c.stream < 0 || stream_first_fill(c.stream) != 0) {
      ds_release_channel(ch, true);
      return -1;
    }
  }
  c.category = s.category;
  ds_apply_volume(ch, volume);
  c.pdsb->set_pan(static_cast<int>(pan * 1000.0f));
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

char Wave_refusal[160];

int refuse(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
int refuse(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(Wave_refusal, sizeof(Wave_refusal), fmt, ap);
  va_end(ap);
  return -1;
}

// Why a format tag is not one we play, in the player's words.
int refuse_tag(uint16_t tag, uint16_t bits) {
  switch (tag) {
    case 3: return refuse("%u-bit floating-point samples are not supported", bits);
    case 0x11: return refuse("IMA ADPCM is not supported");
    case 0xFFFE: return refuse("the extensible wave format is not supported");
    default: return refuse("wave format %u is not supported", tag);
  }
}

int wave_open_file(MmioFile* f, uint32_t offset, MmioFile** file, WaveFormat** file_format,
                   WaveFormat** buffer_format, MmioChunk* riff) {
  *file = nullptr;
  *file_format = nullptr;
  *buffer_format = nullptr;
  auto fail = [&](int) {
    wave_free_formats(file_format, buffer_format);
    mmio_close(f);
    return -1;
  };
  if (!f) return refuse("the file cannot be opened");
  if (offset != 0 && mmio_seek(f, static_cast<long>(offset), SEEK_SET) < 0)
    return fail(refuse("the file is shorter than its place in the pack"));
  riff->form_type = mmio_fourcc('W', 'A', 'V', 'E');
  if (mmio_descend(f, riff, nullptr, MMIO_FINDRIFF) != 0) return fail(refuse("it is not a RIFF WAVE file"));
  MmioChunk fmt;
  fmt.id = mmio_fourcc('f', 'm', 't', ' ');
  if (mmio_descend(f, &fmt, riff, MMIO_FINDCHUNK) != 0 || fmt.size < 16)
    return fail(refuse("it has no wave format"));
  uint8_t b[16];
  if (mmio_read(f, b, 16) != 16) return fail(refuse("its wave format is cut short"));
  uint16_t tag = le16(b);
  uint16_t extra = 0;
  if (tag != WAVE_FORMAT_PCM) {
    uint8_t e[2];
    if (fmt.size < 18 || mmio_read(f, e, 2) != 2) {
      if (tag != WAVE_FORMAT_ADPCM) return fail(refuse_tag(tag, le16(b + 14)));
      return fail(refuse("its wave format is cut short"));
    }
    extra = le16(e);
    if (extra > sizeof(WaveFormat::extra) || 18u + extra > fmt.size) {
      if (tag != WAVE_FORMAT_ADPCM) return fail(refuse_tag(tag, le16(b + 14)));
      return fail(refuse("its MS-ADPCM format is damaged"));
    }
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
  if (extra && mmio_read(f, ff.extra, extra) != extra) return fail(refuse("its wave format is cut short"));
  if (tag != WAVE_FORMAT_PCM && tag != WAVE_FORMAT_ADPCM) return fail(refuse_tag(tag, ff.bits));
  if (ff.channels < 1 || ff.channels > 2) return fail(refuse("%u channels are not supported", ff.channels));
  if (ff.rate < 100 || ff.rate > 100000) return fail(refuse("a rate of %u Hz is not supported", ff.rate));
  if (tag == WAVE_FORMAT_PCM && ff.bits != 8 && ff.bits != 16)
    return fail(refuse("%u-bit samples are not supported", ff.bits));
  MsAdpcmInfo info;
  if (tag == WAVE_FORMAT_ADPCM && !msadpcm_parse_format(ff, &info))
    return fail(refuse("its MS-ADPCM format is damaged"));
  **buffer_format = pcm_format(ff.channels, ff.rate, tag == WAVE_FORMAT_ADPCM ? 16 : ff.bits);
  if (mmio_ascend(f, &fmt) != 0) return fail(refuse("its wave format is cut short"));
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

const char* wave_refusal() { return Wave_refusal; }

uint32_t wave_frames(const WaveFormat& ff, uint32_t data_bytes) {
  if (ff.tag == WAVE_FORMAT_ADPCM) {
    MsAdpcmInfo info;
    if (!msadpcm_parse_format(ff, &info)) return 0;
    uint32_t ba = static_cast<uint32_t>(info.block_align);
    uint32_t ch = static_cast<uint32_t>(info.channels);
    uint32_t spb = static_cast<uint32_t>(info.samples_per_block);
    uint64_t frames = static_cast<uint64_t>(data_bytes / ba) * spb;
    // A short last block holds its header's two frames and what its
    // nibbles reach, as the decoder plays it.
    uint32_t rest = data_bytes % ba;
    if (rest >= 7 * ch) frames += 2 + std::min((rest - 7 * ch) * 2 / ch, spb - 2);
    return frames > 0xffffffffu ? 0xffffffffu : static_cast<uint32_t>(frames);
  }
  uint32_t frame = static_cast<uint32_t>(ff.channels) * (ff.bits / 8u);
  return frame ? data_bytes / frame : 0;
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
  // A failed conversion still tells how far it got: the blocks before a bad
  // one are good sound.
  *dst_used = h.dst_used;
  *src_used = h.src_used;
  return r == 0 ? 0 : -1;
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
