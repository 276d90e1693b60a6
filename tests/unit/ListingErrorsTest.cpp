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

// A sensor definition is used whole or refused: options beyond the option text's capacity, or a
// definition line beyond the listing line's, end the preparation with a message naming the limit.
std::string ErrorOfDefinition(const std::string &definition) {
    TempDirectory dir;
    dir.Write("SAP Quorvane.Gbl", "# GSNG: DISKSPACE   PRD.P00#\n# GSNX: DISKSPACE  " + definition + "\n");
    ProfileLocation location;
    ResolveProfileName("GLOBAL", location);
    Options options;
    options.sensorName.Assign("DISKSPACE ");
    static ItemListing listing; // 64 KiB: not on the stack
    FixedText<255> error;
    FILE *file = nullptr;
    return PrepareListing(file, location, options, "diskspace", listing, error) ? "" : error.c_str();
}

TEST(ListingErrors, DefinitionBeyondItsCapacityIsRefused) {
    std::string options127 = "Item=PSAPSR3," + std::string(kOptionTextCapacity - 13, 'x');
    EXPECT_EQ("", ErrorOfDefinition(options127 + ",Sensor=\"SAP Marrowind\""));
    EXPECT_EQ("Error 1040: Option text of global sensor diskspace longer than 127 characters !",
              ErrorOfDefinition(options127 + "y,Sensor=\"SAP Marrowind\""));
    std::string remark(kListingLineCapacity, 'r');
    EXPECT_EQ("Error 1041: Sensor definition of global sensor diskspace longer than 65535 characters !",
              ErrorOfDefinition("Item=PSAPSR3,Sensor=\"SAP Marrowind\"," + remark));
}

} // namespace
