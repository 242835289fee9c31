#pragma once
// Streamed wave playback: two-second rings refilled every 250 ms from the
// open wave file, MS-ADPCM decoded on the way. Also the wave file reader and
// the decompression wrappers that static buffers use.
#include <cstdint>

#include "quarn/platform/acm.h"
#include "quarn/platform/dsound.h"
#include "quarn/platform/mmio.h"
#include "quarn/platform/thread.h"

constexpr int MAX_WAVE_STREAMS = 16;
constexpr uint32_t STREAM_DECODE_SCRATCH = 180000;
constexpr uint32_t STREAM_PERIOD_MS = 250;

constexpr uint32_t WSF_ACTIVE = 1;
constexpr uint32_t WSF_LOOPING = 2;
constexpr uint32_t WSF_END_OF_DATA = 4;
// The data held a block that does not decode (or could not be read): the
// stream plays what came before it and then ends.
constexpr uint32_t WSF_DAMAGED = 8;

struct WaveStream {
  int32_t sound;
  int32_t channel;
  uint32_t ring_size;
  uint32_t write_pos;
  uint32_t timer;
  uint32_t silence_written;
  uint32_t flags;
  // Every stream reads through a file handle of its own: two plays of one
  // file (a track faded out under its own restart) never share a position.
  MmioFile* file;
  MmioChunk data_chunk;
  MmioChunk riff_chunk;
  AcmStream* acm_stream;
  uint32_t data_bytes;  // size of the data chunk, for the damage report
};

extern WaveStream Wave_streams[MAX_WAVE_STREAMS];
extern PlatformCriticalSection Stream_lock;

void stream_init();
void stream_close();
int stream_play(int sound, int channel, bool looping);
void stream_stop(int record);
uint32_t stream_timer_start(uint32_t period_ms, int record);
// One refill of a record, as the timer does it (the lock is taken here).
void stream_service(int record);
// True while a record is active and still feeds the channel.
bool stream_feeds(int record, int channel);
// Fills the whole ring of a record's channel from the start of its data, as a
// stream begins; 0 or -1.
int stream_first_fill(int record);
// Main thread: says on the console and the standard error which stream met
// damaged data since the last call (the timer thread only notes it).
void stream_report_damage();

int wave_open(const char* path, uint32_t offset, MmioFile** file, WaveFormat** file_format,
              WaveFormat** buffer_format, MmioChunk* riff);
// Why the last wave_open refused its file, in words for the player.
const char* wave_refusal();
// Frames of sound that a data chunk of this many bytes holds in this format.
uint32_t wave_frames(const WaveFormat& file_format, uint32_t data_bytes);
// The same on a block of memory (the file handle reads the caller's block).
int wave_open_memory(const void* data, uint32_t size, MmioFile** file, WaveFormat** file_format,
                     WaveFormat** buffer_format, MmioChunk* riff);
int wave_find_data(MmioFile* file, MmioChunk* data, const MmioChunk* riff);
int wave_read(MmioFile* file, uint32_t n, uint8_t* dest, MmioChunk* data, uint32_t* read);
void wave_close(MmioFile* file);
void wave_free_formats(WaveFormat** file_format, WaveFormat** buffer_format);

int acm_init();
void acm_close();
int acm_open_stream(const WaveFormat* src, WaveFormat* dst, AcmStream** stream, int bits);
int acm_convert(AcmStream* stream, const uint8_t* src, uint32_t src_bytes, uint8_t* dst,
                uint32_t dst_bytes, uint32_t* dst_used, uint32_t* src_used);
int acm_source_size(AcmStream* stream, uint32_t dst_bytes);
int acm_dest_size(AcmStream* stream, uint32_t src_bytes);
int acm_close_stream(AcmStream* stream);
