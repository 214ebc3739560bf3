#include "mp3/crc.h"

#include <array>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <cpuid.h>
#include <wmmintrin.h>
#endif

namespace mp3 {
namespace {

constexpr uint16_t kFramePolynomial = 0x8005;
constexpr uint16_t kLamePolynomialReflected = 0xA001;
constexpr uint16_t kFrameCrcInit = 0xFFFF;
constexpr int kSubbands = 32;

uint16_t CrcBit(uint16_t crc, bool bit) {
  const bool top = (crc & 0x8000) != 0;
  crc = uint16_t(crc << 1);
  return top != bit ? uint16_t(crc ^ kFramePolynomial) : crc;
}

// Reads bits most significant first; reads past the end yield zero and set `overrun`.
class BitReader {
 public:
  explicit BitReader(ByteView bytes) : bytes_(bytes) {}
  uint32_t Read(int count) {
    uint32_t v = 0;
    for (int i = 0; i < count; ++i, ++pos_) {
      size_t byte = pos_ / 8;
      if (byte >= bytes_.size) {
        overrun = true;
        v <<= 1;
        continue;
      }
      v = v << 1 | ((bytes_[byte] >> (7 - pos_ % 8)) & 1u);
    }
    return v;
  }
  size_t Position() const { return pos_; }
  bool overrun = false;

 private:
  ByteView bytes_;
  size_t pos_ = 0;
};

int JointStereoBound(const FrameHeader& h, int limit) {
  if (h.channelMode != ChannelMode::JointStereo) return limit;
  int bound = (h.modeExtension + 1) * 4;
  return bound < limit ? bound : limit;
}

// Bits the Layer I CRC protects after the header: the bit allocation.
size_t Layer1ProtectedBits(const FrameHeader& h) {
  const int channels = h.Channels();
  const int bound = JointStereoBound(h, kSubbands);
  return size_t(4) * (bound * channels + (kSubbands - bound));
}

struct Layer2Table {
  int sblimit;
  const uint8_t* nbal;  // allocation bits per subband
};

constexpr uint8_t kNbalA[30] = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 3, 3, 3, 3,
                                3, 3, 3, 3, 3, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2};
constexpr uint8_t kNbalC[12] = {4, 4, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3};
constexpr uint8_t kNbalLsf[30] = {4, 4, 4, 4, 3, 3, 3, 3, 3, 3, 3, 2, 2, 2, 2,
                                  2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};

// The allocation table follows from the bitrate per channel and the sample rate.
Layer2Table SelectLayer2Table(const FrameHeader& h) {
  if (h.version != Version::Mpeg1) return {30, kNbalLsf};
  const int perChannel = h.bitrateKbps / h.Channels();
  if ((perChannel >= 56 && perChannel <= 80) || (h.sampleRate == 48000 && perChannel >= 56)) return {27, kNbalA};
  if (perChannel >= 96) return {30, kNbalA};
  if (h.sampleRate != 32000) return {8, kNbalC};
  return {12, kNbalC};
}

// Bits the Layer II CRC protects after the header and CRC field: bit allocation and
// scale-factor selection information. Reads the allocation from `body`.
size_t Layer2ProtectedBits(const FrameHeader& h, ByteView body, bool& overrun) {
  const Layer2Table table = SelectLayer2Table(h);
  const int channels = h.Channels();
  const int bound = JointStereoBound(h, table.sblimit);
  uint32_t allocation[2][kSubbands] = {};
  BitReader bits(body);
  for (int sb = 0; sb < table.sblimit; ++sb) {
    const int n = table.nbal[sb];
    if (sb < bound) {
      for (int ch = 0; ch < channels; ++ch) allocation[ch][sb] = bits.Read(n);
    } else {
      allocation[0][sb] = allocation[1][sb] = bits.Read(n);
    }
  }
  size_t scfsiBits = 0;
  for (int sb = 0; sb < table.sblimit; ++sb)
    for (int ch = 0; ch < channels; ++ch)
      if (allocation[ch][sb] != 0) scfsiBits += 2;
  overrun = bits.overrun;
  return bits.Position() + scfsiBits;
}

}  // namespace

uint16_t Crc16Update(uint16_t crc, ByteView bytes) {
  static const std::array<uint16_t, 256> table = [] {
    std::array<uint16_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
      uint16_t v = uint16_t(i << 8);
      for (int k = 0; k < 8; ++k) v = CrcBit(v, false);
      t[size_t(i)] = v;
    }
    return t;
  }();
  for (uint8_t b : bytes) crc = uint16_t(crc << 8 ^ table[(crc >> 8 ^ b) & 0xFF]);
  return crc;
}

namespace {

// The music checksum covers every byte a cut writes: sixteen bytes a step, one table per byte
// position (slicing-by-16), where the one-table form takes a dependent lookup per byte.
uint16_t LameCrc16BySlices(uint16_t crc, const uint8_t* p, size_t n) {
  constexpr size_t kSlices = 16;
  static const auto tables = [] {
    std::array<std::array<uint16_t, 256>, kSlices> t{};
    for (int i = 0; i < 256; ++i) {
      uint16_t v = uint16_t(i);
      for (int k = 0; k < 8; ++k) v = (v & 1) ? uint16_t((v >> 1) ^ kLamePolynomialReflected) : uint16_t(v >> 1);
      t[0][size_t(i)] = v;
    }
    for (size_t k = 1; k < kSlices; ++k)
      for (size_t i = 0; i < 256; ++i) t[k][i] = uint16_t(t[k - 1][i] >> 8 ^ t[0][t[k - 1][i] & 0xFF]);
    return t;
  }();
  for (; n >= kSlices; n -= kSlices, p += kSlices) {
    // Byte i of the step is followed by 15 - i more: its table carries it past them.
    crc = uint16_t(tables[15][(crc ^ p[0]) & 0xFF] ^ tables[14][(crc >> 8 ^ p[1]) & 0xFF] ^ tables[13][p[2]] ^
                   tables[12][p[3]] ^ tables[11][p[4]] ^ tables[10][p[5]] ^ tables[9][p[6]] ^ tables[8][p[7]] ^
                   tables[7][p[8]] ^ tables[6][p[9]] ^ tables[5][p[10]] ^ tables[4][p[11]] ^ tables[3][p[12]] ^
                   tables[2][p[13]] ^ tables[1][p[14]] ^ tables[0][p[15]]);
  }
  // The last bytes in one step of their own length: a cut checksums frame by frame, so there
  // are as many such ends as frames.
  if (n == 1) return uint16_t(crc >> 8 ^ tables[0][(crc ^ p[0]) & 0xFF]);
  if (n == 0) return crc;
  uint16_t step = uint16_t(tables[n - 1][(crc ^ p[0]) & 0xFF] ^ tables[n - 2][(crc >> 8 ^ p[1]) & 0xFF]);
  for (size_t i = 2; i < n; ++i) step ^= tables[n - 1 - i][p[i]];
  return step;
}

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define MP3_CRC_BY_CARRYLESS_MULTIPLY 1

// The same checksum by carry-less multiplication, 64 bytes a step, where the processor has it:
// four 16-byte lanes are each carried 512 bits on (times x^544 and x^480 mod the polynomial,
// one constant per half of the lane), then folded into one lane 128 bits at a time (x^160,
// x^96), and that lane, as 16 bytes, goes through the tables. The CRC-16 is computed as a
// CRC-32 of the polynomial times x^16, whose bit-reflected register holds the CRC-16 in its
// low half; the constants are bit-reflected and shifted left by one, as the multiplication
// of reflected values asks.
constexpr uint64_t kFold512Low = 0x1b0c2, kFold512High = 0xbffa;
constexpr uint64_t kFold128Low = 0x1d0c2, kFold128High = 0x18cc2;
constexpr size_t kLaneBytes = 16;
constexpr size_t kStepBytes = 4 * kLaneBytes;

__attribute__((target("sse2,pclmul"))) uint16_t LameCrc16ByMultiplying(uint16_t crc, const uint8_t* p, size_t n) {
  const __m128i* blocks = reinterpret_cast<const __m128i*>(p);
  __m128i lanes[4];
  for (int i = 0; i < 4; ++i) lanes[i] = _mm_loadu_si128(blocks + i);
  lanes[0] = _mm_xor_si128(lanes[0], _mm_cvtsi32_si128(crc));
  size_t done = 4;
  const __m128i by512 = _mm_set_epi64x(int64_t(kFold512High), int64_t(kFold512Low));
  for (; (done + 4) * kLaneBytes <= n; done += 4) {
    for (int i = 0; i < 4; ++i) {
      const __m128i carried =
          _mm_xor_si128(_mm_clmulepi64_si128(lanes[i], by512, 0x00), _mm_clmulepi64_si128(lanes[i], by512, 0x11));
      lanes[i] = _mm_xor_si128(carried, _mm_loadu_si128(blocks + done + size_t(i)));
    }
  }
  // Lanes 1 to 3 and then any whole 16 bytes left are each added to the lane carried on before them.
  const __m128i by128 = _mm_set_epi64x(int64_t(kFold128High), int64_t(kFold128Low));
  __m128i lane = lanes[0];
  for (size_t i = 1; i < 4 || (done + 1) * kLaneBytes <= n; ++i) {
    const __m128i next = i < 4 ? lanes[i] : _mm_loadu_si128(blocks + done++);
    const __m128i carried =
        _mm_xor_si128(_mm_clmulepi64_si128(lane, by128, 0x00), _mm_clmulepi64_si128(lane, by128, 0x11));
    lane = _mm_xor_si128(carried, next);
  }
  uint8_t rest[kLaneBytes];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), lane);
  const size_t tail = done * kLaneBytes;
  return LameCrc16BySlices(LameCrc16BySlices(0, rest, kLaneBytes), p + tail, n - tail);
}

// Asked once, when first needed: the compiler's own feature check runs at every start.
bool CanMultiplyCarryless() {
  static const bool can = [] {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (ecx & bit_PCLMUL) != 0 && (edx & bit_SSE2) != 0;
  }();
  return can;
}
#endif

}  // namespace

uint16_t LameCrc16Update(uint16_t crc, ByteView bytes) {
#ifdef MP3_CRC_BY_CARRYLESS_MULTIPLY
  if (bytes.size >= kStepBytes && CanMultiplyCarryless()) return LameCrc16ByMultiplying(crc, bytes.data, bytes.size);
#endif
  return LameCrc16BySlices(crc, bytes.data, bytes.size);
}

std::optional<uint16_t> ComputeFrameCrc(const FrameHeader& header, ByteView frame) {
  if (!header.hasCrc) return std::nullopt;
  const size_t bodyStart = kHeaderSize + kCrcFieldSize;
  if (frame.size < bodyStart) return std::nullopt;
  const ByteView body = frame.Sub(bodyStart);
  size_t protectedBits = 0;
  switch (header.layer) {
    case Layer::III: protectedBits = size_t(header.SideInfoSize()) * 8; break;
    case Layer::I: protectedBits = Layer1ProtectedBits(header); break;
    case Layer::II: {
      bool overrun = false;
      protectedBits = Layer2ProtectedBits(header, body, overrun);
      if (overrun) return std::nullopt;
      break;
    }
  }
  if ((protectedBits + 7) / 8 > body.size) return std::nullopt;
  uint16_t crc = Crc16Update(kFrameCrcInit, frame.Sub(2, 2));
  crc = Crc16Update(crc, body.Sub(0, protectedBits / 8));
  const size_t restBits = protectedBits % 8;
  if (restBits != 0) {
    const uint8_t last = body[protectedBits / 8];
    for (size_t i = 0; i < restBits; ++i) crc = CrcBit(crc, ((last >> (7 - i)) & 1) != 0);
  }
  return crc;
}

CrcStatus CheckFrameCrc(const FrameHeader& header, ByteView frame) {
  if (!header.hasCrc) return CrcStatus::NotProtected;
  const std::optional<uint16_t> computed = ComputeFrameCrc(header, frame);
  if (!computed) return CrcStatus::Unverifiable;
  const uint16_t stored = uint16_t(frame[4] << 8 | frame[5]);
  return *computed == stored ? CrcStatus::Ok : CrcStatus::Mismatch;
}

}  // namespace mp3
