#pragma once
// Who hears of each result the station has journalled: the line's record
// (forwarding to a database) connects here without the station knowing it.
// Called on the station's driving thread right after the line is flushed to
// the journal; a listener must return at once and never wait on the network.

#include <string>

class CResultListener {
 public:
  virtual ~CResultListener() = default;
  // The line of `port` is in the journal at `journalPath` (the handheld path,
  // "\Storage Card\NAVLUME_RESULTS.CSV" or "\Temp\NAVLUME_RESULTS.CSV").
  virtual void OnResultJournalled(const std::string& port, const std::string& journalPath) = 0;
};
