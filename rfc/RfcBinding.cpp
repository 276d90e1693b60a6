#include "rfc/RfcBinding.h"
#include "output/Errors.h"

#include <type_traits>

#include "platform/SharedLibrary.h"

// A pointer type that differs from the declaration would call the library with the wrong arguments
// or convention; these keep the two the same.
static_assert(std::is_same_v<RfcEnvironmentFunction, decltype(&::RfcEnvironment)>);
static_assert(std::is_same_v<RfcOpenFunction, decltype(&::RfcOpen)>);
static_assert(std::is_same_v<RfcOpenExFunction, decltype(&::RfcOpenEx)>);
static_assert(std::is_same_v<RfcInstallStructureFunction, decltype(&::RfcInstallStructure)>);
static_assert(std::is_same_v<RfcCallFunction, decltype(&::RfcCall)>);
static_assert(std::is_same_v<RfcReceiveFunction, decltype(&::RfcReceive)>);
static_assert(std::is_same_v<RfcLastErrorFunction, decltype(&::RfcLastError)>);
static_assert(std::is_same_v<RfcCloseFunction, decltype(&::RfcClose)>);
static_assert(std::is_same_v<ItCreateFunction, decltype(&::ItCreate)>);
static_assert(std::is_same_v<ItFillFunction, decltype(&::ItFill)>);
static_assert(std::is_same_v<ItGetLineFunction, decltype(&::ItGetLine)>);
static_assert(std::is_same_v<ItDeleteFunction, decltype(&::ItDelete)>);

namespace {

// The N of a decorated __stdcall name: every argument takes a multiple of 4 bytes on the stack.
template <class Result, class... Arguments>
constexpr unsigned ArgumentBytes(Result(RFC_CALL *)(Arguments...)) {
    return (0u + ... + static_cast<unsigned>((sizeof(Arguments) + 3) / 4 * 4));
}

#if RFC_CALL_DECORATES_NAMES
// The decorations a stdcall build of the library gives its exports.
static_assert(ArgumentBytes(RfcEnvironmentFunction{}) == 4);
static_assert(ArgumentBytes(RfcOpenFunction{}) == 4);
static_assert(ArgumentBytes(RfcOpenExFunction{}) == 8);
static_assert(ArgumentBytes(RfcInstallStructureFunction{}) == 16);
static_assert(ArgumentBytes(RfcCallFunction{}) == 16);
static_assert(ArgumentBytes(RfcReceiveFunction{}) == 16);
static_assert(ArgumentBytes(RfcLastErrorFunction{}) == 4);
static_assert(ArgumentBytes(RfcCloseFunction{}) == 4);
static_assert(ArgumentBytes(ItCreateFunction{}) == 16);
static_assert(ArgumentBytes(ItFillFunction{}) == 4);
static_assert(ArgumentBytes(ItGetLineFunction{}) == 8);
static_assert(ArgumentBytes(ItDeleteFunction{}) == 4);
#endif

constexpr const char *kRfcLibraryStem = "librfc32";

struct Binding {
    bool tried = false;
    bool bound = false;
    FixedText<127> failure; // the message of a binding that failed
};

RfcFunctions boundFunctions;
Binding binding;

template <class Function> bool FindFunction(void *library, const char *name, Function &function) {
    ExportName names[kExportNameCandidates];
    size_t count =
        ExportNameCandidates(name, ArgumentBytes(Function{}), RFC_CALL_DECORATES_NAMES != 0, names);
    for (size_t i = 0; i < count; ++i) {
        LibraryFunction found = FindLibraryFunction(library, names[i].c_str());
        if (found != nullptr) {
            function = reinterpret_cast<Function>(found);
            return true;
        }
    }
    return false;
}

// The name of the first operation the library lacks, or null when it has all twelve.
const char *FindFunctions(void *library, RfcFunctions &functions) {
#define MARROWIND_FIND(operation)                                                                            \
    if (!FindFunction(library, #operation, functions.operation)) return #operation
    MARROWIND_FIND(RfcEnvironment);
    MARROWIND_FIND(RfcOpen);
    MARROWIND_FIND(RfcOpenEx);
    MARROWIND_FIND(RfcInstallStructure);
    MARROWIND_FIND(RfcCall);
    MARROWIND_FIND(RfcReceive);
    MARROWIND_FIND(RfcLastError);
    MARROWIND_FIND(RfcClose);
    MARROWIND_FIND(ItCreate);
    MARROWIND_FIND(ItFill);
    MARROWIND_FIND(ItGetLine);
    MARROWIND_FIND(ItDelete);
#undef MARROWIND_FIND
    return nullptr;
}

} // namespace

const RfcFunctions &rfcLibrary = boundFunctions;

void RfcLibraryFileName(TextBase &fileName) { SharedLibraryFileName(fileName, kRfcLibraryStem); }

bool BindRfcLibrary(TextBase &error) {
    if (!binding.tried) {
        binding.tried = true;
        FixedText<31> fileName;
        RfcLibraryFileName(fileName);
        void *library = LoadSharedLibrary(fileName.c_str());
        if (library == nullptr) {
            FormatError(binding.failure, ErrorId::LibraryNotFound, fileName.c_str());
        } else {
            RfcFunctions functions;
            const char *missing = FindFunctions(library, functions);
            if (missing != nullptr) {
                FormatError(binding.failure, ErrorId::LibraryIncomplete, fileName.c_str(), missing);
                UnloadSharedLibrary(library);
            } else {
                // Loaded for the rest of the process: the failure handler may still call it at the end.
                boundFunctions = functions;
                binding.bound = true;
            }
        }
    }
    if (!binding.bound) error.Assign(binding.failure);
    return binding.bound;
}

size_t ExportNameCandidates(const char *name, unsigned argumentBytes, bool decorated,
                            ExportName (&names)[kExportNameCandidates]) {
    names[0].Assign(name);
    if (!decorated) return 1;
    names[1].Format("_%s@%u", name, argumentBytes);
    names[2].Format("%s@%u", name, argumentBytes);
    return 3;
}
