#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "TempDirectory.h"
#include "driver/Listing.h"
#include "driver/RunState.h"
#include "output/Document.h"

namespace {

// The listing file was located, but cannot be opened again when its lines are read: the run ends
// with the error document and status 2. (A run cannot reach this from the command line, since
// locating the file has just opened it.)
std::string ErrorDocumentOfUnreadableListing(const char *profileName) {
    TempDirectory dir;
    run.profileName.Assign(profileName);
    run.profilePath.Assign("gone\\").Append(profileName);
    run.optionText.Assign("DISKSPACE");
    outputMode = OutputMode::ExeXml;
    EXPECT_EXIT(
        {
            if (freopen("stdout.txt", "w", stdout) == nullptr) exit(99);
            FILE *listing = nullptr;
            PrepareListing(listing, "diskspace");
        },
        ::testing::ExitedWithCode(2), "");
    std::ifstream written(dir.path() / "stdout.txt", std::ios::binary);
    std::stringstream text;
    text << written.rdbuf();
    return text.str();
}

TEST(ListingErrors, ItemListingThatCannotBeReadAgain) {
    EXPECT_EQ(
        ErrorDocumentOfUnreadableListing("Quorvane.Prf"),
        "<Prtg>\n<Error>1</Error>\n<Text>Error 1024: ProFile Quorvane.Prf is missing...</Text>\n</Prtg>\n");
}

TEST(ListingErrors, GlobalListingThatCannotBeReadAgain) {
    EXPECT_EQ(ErrorDocumentOfUnreadableListing("SAP Quorvane.Gbl"),
              "<Prtg>\n<Error>1</Error>\n<Text>Error 10x1: ProFile SAP Quorvane.Gbl is "
              "missing...</Text>\n</Prtg>\n");
}

} // namespace
