// NmeaParser: Feed throughput over the capture corpus in 64-byte and one-line
// chunks, over the multi-constellation captures with GP alone and with every
// talker, and the cost of one GetPosition.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "nmea/NmeaParser.h"
#include "platform/Debug.h"

namespace {

constexpr const char* kGpsdCorpus = "gpsd";
constexpr const char* kGnssCorpus = "gpsd-gnss";

// Every capture of a corpus folder, one after the other.
const std::string& Corpus(const std::string& name = kGpsdCorpus) {
  static std::map<std::string, std::string> corpora;
  auto [known, added] = corpora.try_emplace(name);
  if (!added) return known->second;
  known->second = [&] {
    std::string all;
    const std::filesystem::path folder = std::filesystem::path(NAVLUME_CORPUS_DIR) / name;
    std::vector<std::filesystem::path> logs;
    if (std::filesystem::is_directory(folder)) {
      for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".log") logs.push_back(entry.path());
      }
    }
    std::sort(logs.begin(), logs.end());
    for (const auto& log : logs) {
      std::ifstream in(log, std::ios::binary);
      all.append(std::istreambuf_iterator<char>(in), {});
    }
    return all;
  }();
  return known->second;
}

// Pieces of the corpus: fixed-size chunks, or lines ending after an LF.
std::vector<std::string_view> Pieces(size_t chunk, const std::string& name) {
  const std::string& corpus = Corpus(name);
  std::vector<std::string_view> pieces;
  for (size_t at = 0; at < corpus.size();) {
    size_t end = chunk != 0 ? at + chunk : corpus.find('\n', at);
    end = end == std::string::npos ? corpus.size() : std::min(end + (chunk == 0), corpus.size());
    pieces.emplace_back(corpus.data() + at, end - at);
    at = end;
  }
  return pieces;
}

void FeedPieces(benchmark::State& state, size_t chunk, const std::string& name = kGpsdCorpus,
                NmeaTalkers talkers = NmeaTalkers::Gps) {
  const std::vector<std::string_view> pieces = Pieces(chunk, name);
  if (pieces.empty()) {
    state.SkipWithError("no capture corpus");
    return;
  }
  platform::DebugCapture quiet;  // the corpus has bad checksums on purpose
  NmeaParser parser;
  parser.SetTalkers(talkers);
  int decoded = 0;
  for (auto _ : state) {
    for (std::string_view piece : pieces) decoded += parser.Feed(piece.data(), static_cast<uint32_t>(piece.size()));
    quiet.Clear();
  }
  benchmark::DoNotOptimize(decoded);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Corpus(name).size()));
}

void BM_NmeaFeed64ByteChunks(benchmark::State& state) { FeedPieces(state, 64); }
void BM_NmeaFeedLines(benchmark::State& state) { FeedPieces(state, 0); }
void BM_NmeaFeedGnssLinesGpAlone(benchmark::State& state) { FeedPieces(state, 0, kGnssCorpus, NmeaTalkers::Gps); }
void BM_NmeaFeedGnssLinesEveryTalker(benchmark::State& state) { FeedPieces(state, 0, kGnssCorpus, NmeaTalkers::Any); }

void BM_NmeaGetPosition(benchmark::State& state) {
  platform::DebugCapture quiet;
  NmeaParser parser;
  const std::string& corpus = Corpus();
  parser.Feed(corpus.data(), static_cast<uint32_t>(corpus.size()));
  GpsPosition record{};
  for (auto _ : state) {
    record.version = kGpsPositionVersion;
    record.size = kGpsPositionSize;
    parser.GetPosition(record, kNmeaMaxAgeMs);
    benchmark::DoNotOptimize(record);
  }
}

}  // namespace

BENCHMARK(BM_NmeaFeed64ByteChunks);
BENCHMARK(BM_NmeaFeedLines);
BENCHMARK(BM_NmeaFeedGnssLinesGpAlone);
BENCHMARK(BM_NmeaFeedGnssLinesEveryTalker);
BENCHMARK(BM_NmeaGetPosition);
