#pragma once
// The long run of the exe while players keep starting and stopping: its
// resources idle before and after, the fake's accounting once it has ended,
// and the stream's count, lateness and drift, printed as "[ figure ]" lines.
//
// Threads: the measuring program's main thread (the stream is read on a
// thread of its own).

namespace measure {

// `seconds` of churn; false when the run itself could not be made.
bool enduranceRun(double seconds);

}  // namespace measure
