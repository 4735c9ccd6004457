#pragma once
// Requests of an output device's control operation. A device answers the ones it knows and
// returns -1 for the rest; callers then fall back to their own estimates.

namespace svt {

inline constexpr int OUT_REQ_EVENT = 0;
inline constexpr int OUT_REQ_DISCARD = 2;
inline constexpr int OUT_REQ_FLUSH = 3;
inline constexpr int OUT_REQ_GET_QUEUE_SIZE = 4;
inline constexpr int OUT_REQ_GET_FRAGMENT_SIZE = 6;
inline constexpr int OUT_REQ_GET_SAMPLES = 8;
inline constexpr int OUT_REQ_PLAY_START = 9;
inline constexpr int OUT_REQ_PLAY_END = 10;
inline constexpr int OUT_REQ_GET_FREE = 11;
inline constexpr int OUT_REQ_GET_QUEUED = 12;
inline constexpr int OUT_REQ_FLUSH_DONE = 13;
// A song ended unfinished (an error, a stop, a skip): a file made for it alone is removed
// rather than finished.
inline constexpr int OUT_REQ_PLAY_ABANDON = 14;

}  // namespace svt
