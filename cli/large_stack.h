// Running a request's work on a thread whose stack is large enough for the
// geometry library's deepest recursion.
#pragma once

#include <cstddef>
#include <functional>

namespace velamanifold {

// Stack of the thread that answers a request. The library's triangulator
// recurses once per vertex of a run of collinear outline points (about 160
// bytes a level, more under the sanitizers); the outline point ceiling keeps
// the deepest run well inside this.
inline constexpr size_t kRequestStackBytes = size_t{256} << 20;

// Runs `work` on a new thread with a stack of `bytes` and returns when it
// has finished, rethrowing what it threw. When no such thread can be made
// the work runs on the calling thread.
void RunOnLargeStack(size_t bytes, const std::function<void()>& work);

}  // namespace velamanifold
