#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rfc/Rfc.h"

namespace {

std::vector<std::string> Candidates(const char *name, unsigned argumentBytes, bool decorated) {
    ExportName names[kExportNameCandidates];
    size_t count = ExportNameCandidates(name, argumentBytes, decorated, names);
    std::vector<std::string> result;
    for (size_t i = 0; i < count; ++i)
        result.push_back(names[i].c_str());
    return result;
}

// SAP's library names its exports plainly, so the plain name is tried first; the decorated forms
// follow for a library built with MinGW's or Microsoft's stdcall decoration.
TEST(RfcBinding, DecoratedConventionTriesThePlainNameFirst) {
    EXPECT_EQ(Candidates("RfcOpen", 4, true),
              (std::vector<std::string>{"RfcOpen", "_RfcOpen@4", "RfcOpen@4"}));
    EXPECT_EQ(Candidates("RfcInstallStructure", 16, true),
              (std::vector<std::string>{"RfcInstallStructure", "_RfcInstallStructure@16",
                                        "RfcInstallStructure@16"}));
}

TEST(RfcBinding, UndecoratedConventionTriesOnlyThePlainName) {
    EXPECT_EQ(Candidates("RfcOpenEx", 8, false), std::vector<std::string>{"RfcOpenEx"});
}

TEST(RfcBinding, LibraryFileNameOfThisPlatform) {
    FixedText<31> fileName;
    RfcLibraryFileName(fileName);
#if defined(_WIN32)
    EXPECT_STREQ(fileName.c_str(), "librfc32.dll");
#else
    EXPECT_STREQ(fileName.c_str(), "librfc32.so");
#endif
}

// The test program lies beside the stand-in library in the build folder, as the sensor does.
TEST(RfcBinding, BindsEveryOperationAndCallsThroughThem) {
    FixedText<127> error;
    ASSERT_TRUE(BindRfcLibrary(error)) << error.c_str();
    EXPECT_TRUE(error.empty());
    const void *operations[] = {
        reinterpret_cast<const void *>(rfcLibrary.RfcEnvironment),
        reinterpret_cast<const void *>(rfcLibrary.RfcOpen),
        reinterpret_cast<const void *>(rfcLibrary.RfcOpenEx),
        reinterpret_cast<const void *>(rfcLibrary.RfcInstallStructure),
        reinterpret_cast<const void *>(rfcLibrary.RfcCall),
        reinterpret_cast<const void *>(rfcLibrary.RfcReceive),
        reinterpret_cast<const void *>(rfcLibrary.RfcLastError),
        reinterpret_cast<const void *>(rfcLibrary.RfcClose),
        reinterpret_cast<const void *>(rfcLibrary.ItCreate),
        reinterpret_cast<const void *>(rfcLibrary.ItFill),
        reinterpret_cast<const void *>(rfcLibrary.ItGetLine),
        reinterpret_cast<const void *>(rfcLibrary.ItDelete),
    };
    for (const void *operation : operations)
        EXPECT_NE(operation, nullptr);

    ITAB_H table = rfcLibrary.ItCreate("TS", 112, 0, 0);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(rfcLibrary.ItFill(table), 0u);
    EXPECT_EQ(rfcLibrary.ItGetLine(table, 1), nullptr);
    EXPECT_EQ(rfcLibrary.ItDelete(table), 0);

    // Bound once: a second call answers the same without loading again.
    const void *open = reinterpret_cast<const void *>(rfcLibrary.RfcOpen);
    EXPECT_TRUE(BindRfcLibrary(error));
    EXPECT_EQ(reinterpret_cast<const void *>(rfcLibrary.RfcOpen), open);
}

} // namespace
