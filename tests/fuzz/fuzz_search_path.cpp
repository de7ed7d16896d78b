// The search-path stage over arbitrary values of the variable path.
//
// Input: one control byte, then the value (up to a NUL).
//   bit 0 of the control byte: when set, the runtime lies in one of the
//   value's elements, the one chosen by the other seven bits (modulo the
//   number of elements that are probed);
//   otherwise it lies nowhere.
// Every probed path must be an element, as the tokenizer's rule cuts it,
// followed by the runtime's name (a backslash between them when the element
// does not end in 0x5C); the elements are probed in order, and the probes
// stop at the first one that finds the runtime.
#include "FuzzSupport.h"

namespace {

// The Shift_JIS lead bytes that the tokenizer knows, whatever the code page.
bool IsTokenizerLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xEF);
}

// The elements cut at ';', a lead byte taking the byte after it (unless the
// value ends there) so that a ';' in second place ends nothing; the first
// empty element ends the list. A ';' at the very end leaves no empty element.
std::vector<std::string> ReferenceElements(const std::string& value) {
    std::vector<std::string> elements;
    size_t at = 0;
    while (at < value.size()) {
        std::string element;
        while (at < value.size()) {
            unsigned char byte = static_cast<unsigned char>(value[at]);
            if (byte == ';') {
                ++at;
                break;
            }
            size_t width = IsTokenizerLeadByte(byte) && at + 1 < value.size() ? 2 : 1;
            element.append(value, at, width);
            at += width;
        }
        if (element.empty()) break;
        elements.push_back(element);
    }
    return elements;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    fake::ResetWorld();
    fake::World& world = fake::TheWorld();
    const unsigned char control = data[0];
    const std::string value = TextUpToNul(data + 1, size - 1);
    world.environment["Path"] = value;
    // No current directory: the fake then looks a relative path up as it is
    // written, so a probed path finds the runtime exactly when it equals the
    // path at which the runtime was placed.
    world.currentDirectory.reset();

    const std::vector<std::string> elements = ReferenceElements(value);
    std::vector<std::string> probes;
    for (const std::string& element : elements) probes.push_back(ExpectedRuntimePath(element));

    const bool placed = (control & 1) && !elements.empty();
    std::string runtimeFile;
    if (placed) {
        runtimeFile = probes[(control >> 1) % probes.size()];
        world.AddFile(runtimeFile);
        // An earlier element may name the same place: the search ends there.
        for (size_t i = 0; i < probes.size(); ++i) {
            if (probes[i] == runtimeFile) {
                probes.resize(i + 1);
                break;
            }
        }
    }

    const bool stillMissing = SearchPathStage();

    ExpectTrue("the variable is read at least once", !world.environmentSizes.empty());
    ExpectNumber("the first read of the variable gives the size 1023", 1023, world.environmentSizes[0]);
    // A value that fits is read with that one call; a longer one the launcher
    // asks for again, and reads whole.
    if (value.size() <= 1022) {
        ExpectNumber("a value of at most 1022 bytes is read with one call", 1,
                     world.Count("GetEnvironmentVariableA"));
    }
    ExpectList("the probed paths", probes, world.probedPaths);
    ExpectTrue("the answer is false exactly when the runtime was found", stillMissing != placed);
    if (!placed) {
        ExpectNumber("nothing is started", 0, static_cast<long long>(world.winExecs.size()));
        return 0;
    }
    ExpectNumber("the runtime is started once", 1, static_cast<long long>(world.winExecs.size()));
    const std::string start = "\"" + runtimeFile + "\" -runtime \"";
    ExpectBytes("the runtime is started from the element that holds it", start,
                world.winExecs[0].commandLine.substr(0, start.size()));
    return 0;
}
