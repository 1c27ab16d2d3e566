#pragma once
// A quick walk over the rest of a long array or object: how many elements or
// members it still holds, and what each container inside it will hold, so
// the parser builds them all in place at their final size instead of
// gathering them first. For core/json*.cpp only.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace json {

struct ContainerRest {
    // Elements or members from the walk's start to the container's end.
    uint32_t remaining = 0;
    // Elements or members of each non-empty container that opens on the way,
    // in the order they open.
    std::vector<uint32_t> nestedCounts;
    // The container's closing byte; the end of the text, or the first
    // container too deep, when the walk stopped there.
    const char* end = nullptr;
};

// pos is just past a ',' inside a container at nesting depth `depth`. Only an
// estimate: it reads strings, brackets and commas as the parser does and
// checks nothing else, so for text the parser rejects it may be anything.
ContainerRest measureContainerRest(const char* pos, const char* end, int32_t depth);

}  // namespace json
