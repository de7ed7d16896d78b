// The launcher's command line, split and passed on to the runtime.
//
// Input: one control byte, then the command line (up to a NUL).
//   bit 0 of the control byte: code page 932 when set, else 1252;
//   bits 1-2: the directory in which the runtime lies (Candidates below).
// The probe must start the runtime with the quoted runtime path, the switch,
// the quoted own path and then exactly the launcher's arguments, byte for
// byte and in order, as the splitting rule cuts them; ArgumentCount and
// ArgumentAt must give the same arguments.
#include "FuzzSupport.h"

namespace {

struct Candidate {
    const char* directory;  // handed to the probe
    const char* file;       // where the runtime lies, as the fake looks it up
};

const Candidate Candidates[] = {
    {"C:\\Rt", "C:\\Rt\\sorvanti.exe"},
    {"C:\\Program Files\\Rt\\", "C:\\Program Files\\Rt\\sorvanti.exe"},
    {"", "C:\\Work\\sorvanti.exe"},  // the bare name, found in the current directory
    {"D:\\\x83\x5c", "D:\\\x83\x5c" "sorvanti.exe"},  // ends in the trail byte 0x5C
};

bool IsLeadByteOf932(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The splitting rule, written out on its own: separators are the bytes 0x01 to
// 0x20 outside quotes; a quote opens or closes a run and is dropped; two quotes
// where an argument would begin are skipped; a lead byte always takes the byte
// after it, unless the line ends there, and that byte is never tested.
class ReferenceSplitter {
public:
    ReferenceSplitter(const std::string& line, bool doubleByte) : line_(line), doubleByte_(doubleByte) {}

    std::string Next() {
        for (;;) {
            while (at_ < line_.size() && Byte(at_) <= 0x20) ++at_;
            if (at_ + 1 < line_.size() && line_[at_] == '"' && line_[at_ + 1] == '"') {
                at_ += 2;
                continue;
            }
            break;
        }
        std::string argument;
        bool quoted = false;
        while (at_ < line_.size() && (quoted || Byte(at_) > 0x20)) {
            if (line_[at_] == '"') {
                quoted = !quoted;
                ++at_;
                continue;
            }
            size_t width = doubleByte_ && IsLeadByteOf932(Byte(at_)) && at_ + 1 < line_.size() ? 2 : 1;
            argument.append(line_, at_, width);
            at_ += width;
        }
        return argument;
    }

private:
    unsigned char Byte(size_t i) const { return static_cast<unsigned char>(line_[i]); }

    const std::string& line_;
    bool doubleByte_;
    size_t at_ = 0;
};

// The program's name first, then every argument up to the first empty one.
std::vector<std::string> ReferenceArguments(const std::string& line, bool doubleByte) {
    ReferenceSplitter splitter(line, doubleByte);
    splitter.Next();
    std::vector<std::string> arguments;
    for (std::string argument = splitter.Next(); !argument.empty(); argument = splitter.Next()) {
        arguments.push_back(argument);
    }
    return arguments;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    fake::ResetWorld();
    fake::World& world = fake::TheWorld();
    const unsigned char control = data[0];
    const bool doubleByte = control & 1;
    world.codePage = doubleByte ? 932 : 1252;
    const Candidate& candidate = Candidates[(control >> 1) & 3];
    world.commandLine = TextUpToNul(data + 1, size - 1);
    world.AddFile(candidate.file);

    const std::vector<std::string> arguments = ReferenceArguments(world.commandLine, doubleByte);
    const std::string runtimePath = ExpectedRuntimePath(candidate.directory);
    std::string expected = "\"" + runtimePath + "\" -runtime \"" + world.modulePath + "\"";
    for (const std::string& argument : arguments) {
        bool quoted = argument.find(' ') != std::string::npos;
        expected += quoted ? " \"" + argument + "\"" : " " + argument;
    }

    ExpectTrue("the probe answers false when it starts the runtime",
               !TryLaunchFrom(ByteString(candidate.directory)));
    ExpectList("the probe looks for the runtime once, at its path", {runtimePath}, world.probedPaths);
    ExpectNumber("WinExec is called once", 1, static_cast<long long>(world.winExecs.size()));
    ExpectNumber("WinExec shows the window", SW_SHOW, world.winExecs[0].show);
    ExpectBytes("the runtime's command line", expected, world.winExecs[0].commandLine);

    const int count = ArgumentCount();
    ExpectNumber("ArgumentCount", static_cast<long long>(arguments.size()), count);
    // ArgumentAt reads the line from its start at each call: on long lines
    // only the first arguments and the last one are compared, so that a long
    // input costs a few walks over the line and not one per argument.
    for (int i = 1; i <= count; ++i) {
        if (i > 64 && i < count) i = count;
        ExpectBytes("ArgumentAt", arguments[i - 1], Str(ArgumentAt(i)));
    }
    ExpectBytes("ArgumentAt past the last argument", "", Str(ArgumentAt(count + 1)));
    return 0;
}
