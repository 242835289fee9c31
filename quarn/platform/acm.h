#pragma once
// The audio compression manager as the streaming layer expects it: one
// driver, "MS-ADPCM", that turns MS-ADPCM blocks into 16-bit PCM. The decoder
// is our own.
#include <cstdint>

#include "quarn/platform/dsound.h"

constexpr uint32_t ACM_VERSION = 0x03320000;
constexpr uint32_t ACMDRIVERDETAILS_SUPPORTF_DISABLED = 0x80000000;
constexpr uint32_t ACM_DRIVERENUMF_DISABLED = 0x80000000;
constexpr uint32_t ACM_STREAMSIZEF_SOURCE = 0;
constexpr uint32_t ACM_STREAMSIZEF_DESTINATION = 1;
constexpr uint32_t ACM_STREAMOPENF_NONREALTIME = 0x4;
constexpr uint32_t ACMERR_NOTPOSSIBLE = 512;
constexpr uint32_t ACMERR_UNPREPARED = 514;
constexpr uint32_t MMSYSERR_INVALPARAM = 11;
constexpr uint32_t MMSYSERR_INVALHANDLE = 5;

using AcmDriverId = uintptr_t;
using AcmDriver = uintptr_t;
struct AcmStream;

struct AcmDriverDetails {
  char short_name[32] = {};
  uint32_t support = 0;
};

// Returns false to stop the enumeration.
using AcmDriverEnumCallback = bool (*)(AcmDriverId id, uintptr_t user, uint32_t support);

uint32_t acm_get_version();
uint32_t acm_driver_enum(AcmDriverEnumCallback cb, uintptr_t user, uint32_t flags);
uint32_t acm_driver_details(AcmDriverId id, AcmDriverDetails* out);
uint32_t acm_driver_open(AcmDriver* out, AcmDriverId id);
uint32_t acm_driver_close(AcmDriver driver);

struct AcmStreamHeader {
  const uint8_t* src = nullptr;
  uint32_t src_length = 0;
  uint32_t src_used = 0;
  uint8_t* dst = nullptr;
  uint32_t dst_length = 0;
  uint32_t dst_used = 0;
  bool prepared = false;
};

uint32_t acm_stream_open(AcmStream** out, AcmDriver driver, const WaveFormat& src,
                         const WaveFormat& dst, uint32_t flags);
uint32_t acm_stream_size(AcmStream* s, uint32_t bytes, uint32_t* out, uint32_t flags);
uint32_t acm_stream_prepare_header(AcmStream* s, AcmStreamHeader* h);
// Decodes whole blocks while they fit the destination; a short last block
// (the end of the data) is decoded as far as it goes.
uint32_t acm_stream_convert(AcmStream* s, AcmStreamHeader* h);
uint32_t acm_stream_unprepare_header(AcmStream* s, AcmStreamHeader* h);
uint32_t acm_stream_close(AcmStream* s);

// ---- The decoder itself ----------------------------------------------------------

struct MsAdpcmInfo {
  int channels = 0;
  int block_align = 0;
  int samples_per_block = 0;
  int coef_count = 0;
  int16_t coef[256][2] = {};
};

// False when the format is not a usable MS-ADPCM format.
bool msadpcm_parse_format(const WaveFormat& f, MsAdpcmInfo* info);
// Decodes one block (or a short last one) into interleaved samples; frames
// written, -1 for a bad block. out must hold samples_per_block frames.
int msadpcm_decode_block(const MsAdpcmInfo& info, const uint8_t* src, uint32_t bytes,
                         int16_t* out);
