#pragma once
// Wave files for the demo and the tests: PCM (8 or 16 bits, mono or stereo),
// MS-ADPCM encoded by our own encoder, and simple synthesised material.
#include <cstdint>
#include <string>
#include <vector>

// Interleaved 16-bit samples as a PCM wave of the given bits (8 or 16).
std::vector<uint8_t> wave_build_pcm(const std::vector<int16_t>& samples, int channels, int rate,
                                    int bits);
// Interleaved samples encoded as MS-ADPCM blocks of block_align bytes (the
// seven standard coefficient pairs); the last block is padded with silence.
std::vector<uint8_t> wave_build_msadpcm(const std::vector<int16_t>& samples, int channels,
                                        int rate, int block_align);
bool wave_write_file(const std::string& path, const std::vector<uint8_t>& bytes);

// Synthesised material: a sine tone, white noise (deterministic), a short
// melody of tones with fades at the note edges. Interleaved for channels.
std::vector<int16_t> wave_tone(int rate, int channels, double seconds, double hz, double amp);
std::vector<int16_t> wave_noise(int rate, int channels, double seconds, double amp, uint32_t seed);
std::vector<int16_t> wave_melody(int rate, int channels, double seconds, double amp);
