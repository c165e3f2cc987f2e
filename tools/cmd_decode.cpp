// navlume-cli decode [--chunk N] [--all] [--talkers GP|any] [--lf] [FILE]:
// feeds a capture to one NmeaParser and prints a position record after each
// piece that decoded a sentence.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "nmea/NmeaParser.h"
#include "tools/Commands.h"
#include "tools/PositionJson.h"

namespace {

struct DecodeOptions {
  uint32_t chunk = 0;  // 0: one line at a time
  bool all = false;
  bool lf = false;  // take sentences that end in LF alone
  NmeaTalkers talkers = NmeaTalkers::Gps;
  std::string file = "-";
};

constexpr int kExitFailed = 1;
constexpr size_t kReadBlock = 1 << 16;
constexpr size_t kOutputFlush = 1 << 16;
// A line longer than this is fed in pieces of this size.
constexpr size_t kLongestPiece = 1 << 20;

class FileCloser {
 public:
  void operator()(std::FILE* file) const {
    if (file != stdin) std::fclose(file);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A sentence ends in CR LF, as a receiver sends it. A capture that a copy,
// a checkout or an editor changed ends its lines in LF alone, which the
// receiver's framing does not take: such sentences are counted, and with
// --lf they get their CR back before the parser sees them.
class LfOnlyLineEnds {
 public:
  explicit LfOnlyLineEnds(bool mend) : m_bMend(mend) {}

  // The piece as the parser gets it (valid until the next call).
  std::string_view Take(const char* bytes, size_t count) {
    m_Mended.clear();
    for (size_t i = 0; i < count; ++i) {
      const char c = bytes[i];
      if (m_bLineStart) m_bSentence = c == '$' || c == '!';
      if (c == '\n' && m_Previous != '\r' && m_bSentence) {
        ++m_uCount;
        if (m_bMend) m_Mended.push_back('\r');
      }
      if (m_bMend) m_Mended.push_back(c);
      m_bLineStart = c == '\n';
      m_Previous = c;
    }
    return m_bMend ? std::string_view(m_Mended) : std::string_view(bytes, count);
  }

  // Says on standard error what was found.
  void Report() const {
    if (m_uCount == 0) return;
    if (m_bMend) {
      std::fprintf(stderr, "navlume-cli decode: %llu sentence(s) ended in LF alone; --lf took them\n",
                   static_cast<unsigned long long>(m_uCount));
    } else {
      std::fprintf(stderr,
                   "navlume-cli decode: %llu sentence(s) end in LF alone, without the CR of CR LF that a receiver "
                   "sends, and were not decoded; --lf takes them\n",
                   static_cast<unsigned long long>(m_uCount));
    }
  }

 private:
  const bool m_bMend;
  bool m_bLineStart = true;
  bool m_bSentence = false;
  char m_Previous = 0;
  uint64_t m_uCount = 0;
  std::string m_Mended;
};

class CaptureDecoder {
 public:
  CaptureDecoder(bool all, NmeaTalkers talkers, bool lf) : m_bAll(all), m_LineEnds(lf) { m_Parser.SetTalkers(talkers); }
  ~CaptureDecoder() { Flush(); }

  void FeedPiece(const char* bytes, size_t count) {
    const std::string_view piece = m_LineEnds.Take(bytes, count);
    const int decoded = m_Parser.Feed(piece.data(), static_cast<uint32_t>(piece.size()));
    m_uOffset += count;  // in the capture as read
    if (decoded == 0 && !m_bAll) return;
    GpsPosition record{};
    record.version = kGpsPositionVersion;
    record.size = kGpsPositionSize;
    m_Parser.GetPosition(record, kNmeaMaxAgeMs);
    m_Line.Append(m_Output, record, {JsonNumber(static_cast<int64_t>(m_uOffset)), JsonNumber(decoded)});
    if (m_Output.size() >= kOutputFlush) Flush();
  }

  void Flush() {
    std::fwrite(m_Output.data(), 1, m_Output.size(), stdout);
    m_Output.clear();
  }

  const LfOnlyLineEnds& LineEnds() const { return m_LineEnds; }

 private:
  NmeaParser m_Parser;
  PositionJsonLine m_Line{{"offset", "decoded"}};
  bool m_bAll;
  LfOnlyLineEnds m_LineEnds;
  uint64_t m_uOffset = 0;
  std::string m_Output;
};

// Cuts the input into pieces: fixed-size chunks, or lines ending after an LF.
class PieceSplitter {
 public:
  PieceSplitter(CaptureDecoder& decoder, uint32_t chunk) : m_Decoder(decoder), m_uChunk(chunk) {}

  void Add(const char* bytes, size_t count) {
    while (count > 0) {
      const size_t end = PieceEnd(bytes, count);
      if (end == 0) {
        m_Pending.insert(m_Pending.end(), bytes, bytes + count);
        if (m_Pending.size() >= PieceLimit()) FeedPending();
        return;
      }
      if (m_Pending.empty()) {
        m_Decoder.FeedPiece(bytes, end);
      } else {
        m_Pending.insert(m_Pending.end(), bytes, bytes + end);
        FeedPending();
      }
      bytes += end;
      count -= end;
    }
  }

  void Finish() {
    if (!m_Pending.empty()) FeedPending();
  }

 private:
  size_t PieceLimit() const { return m_uChunk != 0 ? m_uChunk : kLongestPiece; }

  // Bytes of `bytes` that complete the next piece; 0 when it is not complete yet.
  size_t PieceEnd(const char* bytes, size_t count) const {
    const size_t missing = PieceLimit() - m_Pending.size();
    if (m_uChunk != 0) return count >= missing ? missing : 0;
    const void* lf = std::memchr(bytes, '\n', std::min(count, missing));
    if (lf != nullptr) return static_cast<size_t>(static_cast<const char*>(lf) - bytes) + 1;
    return count >= missing ? missing : 0;
  }

  void FeedPending() {
    m_Decoder.FeedPiece(m_Pending.data(), m_Pending.size());
    m_Pending.clear();
  }

  CaptureDecoder& m_Decoder;
  uint32_t m_uChunk;
  std::vector<char> m_Pending;
};

// A capture that cannot be read is the command failing, not a command line it cannot use.
[[noreturn]] void Fail(const std::string& what, const std::string& name) {
  std::fprintf(stderr, "navlume-cli decode: cannot %s %s: %s\n", what.c_str(), name.c_str(), std::strerror(errno));
  throw CLI::RuntimeError(kExitFailed);
}

FilePtr OpenInput(const std::string& name) {
  if (name == "-") return FilePtr(stdin);
  FilePtr file(std::fopen(name.c_str(), "rb"));
  if (!file) Fail("open", name);
  return file;
}

void RunDecode(const DecodeOptions& options) {
  FilePtr input = OpenInput(options.file);
  CaptureDecoder decoder(options.all, options.talkers, options.lf);
  PieceSplitter splitter(decoder, options.chunk);
  std::vector<char> block(kReadBlock);
  for (;;) {
    const size_t count = std::fread(block.data(), 1, block.size(), input.get());
    if (count > 0) splitter.Add(block.data(), count);
    if (count < block.size()) {
      if (std::ferror(input.get())) Fail("read", options.file);
      break;
    }
  }
  splitter.Finish();
  decoder.Flush();
  decoder.LineEnds().Report();
}

}  // namespace

void AddDecodeCommand(CLI::App& app) {
  auto options = std::make_shared<DecodeOptions>();
  CLI::App* decode = app.add_subcommand("decode", "Decode an NMEA capture and print a position record per piece");
  decode->add_option("--chunk", options->chunk, "Feed N bytes at a time (default: one line at a time)")
      ->check(CLI::Range(1u, 1u << 30));
  decode->add_flag("--all", options->all, "Print a record after every piece, not only after decoding ones");
  decode->add_flag("--lf", options->lf,
                   "Also take sentences that end in LF alone (a capture whose CRs a copy removed); without it "
                   "they are counted on standard error");
  AddTalkersOption(*decode, options->talkers,
                   "Talkers to decode: GP (default) or any constellation talker (GN, GL, GA, GB, BD, GQ, QZ, GI)");
  decode->add_option("FILE", options->file, "Capture to read; standard input when absent or -");
  decode->callback([options] { RunDecode(*options); });
}
