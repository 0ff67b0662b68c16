#pragma once
// Marks a handler that waits in a nested event loop (a fetch waiting for its answer). Other
// handlers may run inside such a wait; those that must not, such as the global actions, ask
// nestedWaitDepth() and hold back until it is 0. Interface thread only.

namespace larkspur {

class NestedWait
{
  public:
    NestedWait();
    ~NestedWait();
    NestedWait(const NestedWait&) = delete;
    NestedWait& operator=(const NestedWait&) = delete;
};

// How many nested waits are under way on the interface thread.
int nestedWaitDepth();

} // namespace larkspur
