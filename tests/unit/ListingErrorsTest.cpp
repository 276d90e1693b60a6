#include <gtest/gtest.h>

#include <string>

#include "TempDirectory.h"
#include "driver/Listing.h"

namespace {

// The listing file was located, but cannot be opened again when its lines are read: preparing the
// listing returns the error instead of ending the process. (A run cannot reach this from the
// command line, since locating the file has just opened it.)
std::string ErrorOfUnreadableListing(const char *profileName) {
    TempDirectory dir;
    ProfileLocation location;
    location.name.Assign(profileName);
    location.path.Assign("gone\\").Append(profileName);
    Options options;
    options.sensorName.Assign("DISKSPACE ");
    ItemListing listing;
    FixedText<255> error;
    FILE *file = nullptr;
    EXPECT_FALSE(PrepareListing(file, location, options, "diskspace", listing, error));
    return error.c_str();
}

TEST(ListingErrors, ListingThatCannotBeReadAgain) {
    EXPECT_EQ(ErrorOfUnreadableListing("Quorvane.Prf"), "Error 1024: ProFile Quorvane.Prf is missing...");
    EXPECT_EQ(ErrorOfUnreadableListing("SAP Quorvane.Gbl"), "Error 10x1: ProFile SAP Quorvane.Gbl is missing...");
}

} // namespace
