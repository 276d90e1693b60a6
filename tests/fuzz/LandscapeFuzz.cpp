// The stand-in library's landscape reader, over any bytes.
//
// Properties: a text is either a landscape or refused with a LandscapeError that names the file;
// nothing else is thrown; every value of an accepted landscape lies in its documented range.
#include <string>

#include "FuzzSupport.h"
#include "Landscape.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    sapsim::Landscape landscape;
    try {
        landscape = sapsim::ParseLandscape(text);
    } catch (const sapsim::LandscapeError &error) {
        std::string message = error.what();
        fuzz::Check(message.rfind("SapSim.json: ", 0) == 0, "message without the file: " + message);
        return 0;
    } catch (const std::exception &error) {
        fuzz::Fail(std::string("an exception other than LandscapeError: ") + error.what());
    } catch (...) {
        fuzz::Fail("an exception of no standard type");
    }
    constexpr int64_t kMaxKilobytes = 999999999999999;
    for (const sapsim::System &system : landscape.systems) {
        fuzz::Check(system.sysnr >= 0 && system.sysnr <= INT32_MAX, "system number out of range");
        fuzz::Check(system.latencyMs <= 600000, "latency out of range");
        fuzz::Check(system.gwhost.has_value() == system.gwserv.has_value(), "gateway host without service");
        for (const sapsim::Tablespace &tablespace : system.tablespaces) {
            fuzz::Check(tablespace.sizeKb >= -kMaxKilobytes && tablespace.sizeKb <= kMaxKilobytes, "size_kb");
            fuzz::Check(tablespace.freeKb >= -kMaxKilobytes && tablespace.freeKb <= kMaxKilobytes, "free_kb");
            if (tablespace.pctUsed)
                fuzz::Check(*tablespace.pctUsed >= INT32_MIN && *tablespace.pctUsed <= INT32_MAX, "pct_used");
        }
    }
    return 0;
}
