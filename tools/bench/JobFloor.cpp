// The floor of the sensor's job, for scripts/bench: binds the RFC library at run time, opens one
// connection, fetches the tablespace table (DB_ORA_CURRENT_SIZES) and closes. No profile, no
// checks, no document: what any program that does this job pays at least.
//
//   MarrowindJobFloor DESTINATION HOST SYSNR CLIENT USER PASSWORD     (exit 0: rows were fetched)
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/SharedLibrary.h"
#include "rfc/RfcLibrary.h"
#include "rfc/Structures.h"

namespace {

template <class Function> Function Bind(void *library, const char *name) {
    LibraryFunction found = FindLibraryFunction(library, name);
    if (found == nullptr) {
        fprintf(stderr, "MarrowindJobFloor: %s missing\n", name);
        exit(3);
    }
    return reinterpret_cast<Function>(found);
}

RFC_PARAMETER Parameter(const char *name, RFC_TYPEHANDLE type, uint32_t length, void *address) {
    return {name, static_cast<uint32_t>(strlen(name)), type, length, address};
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 7) {
        fputs("usage: MarrowindJobFloor DESTINATION HOST SYSNR CLIENT USER PASSWORD\n", stderr);
        return 2;
    }
    FixedText<63> fileName;
    SharedLibraryFileName(fileName, "librfc32");
    void *library = LoadSharedLibrary(fileName.c_str());
    if (library == nullptr) return 3;
    auto open = Bind<decltype(&RfcOpen)>(library, "RfcOpen");
    auto install = Bind<decltype(&RfcInstallStructure)>(library, "RfcInstallStructure");
    auto call = Bind<decltype(&RfcCall)>(library, "RfcCall");
    auto receive = Bind<decltype(&RfcReceive)>(library, "RfcReceive");
    auto close = Bind<decltype(&RfcClose)>(library, "RfcClose");
    auto create = Bind<decltype(&ItCreate)>(library, "ItCreate");
    auto fill = Bind<decltype(&ItFill)>(library, "ItFill");
    auto line = Bind<decltype(&ItGetLine)>(library, "ItGetLine");

    FixedText<12> user(argv[5]);
    user.ToUpper();
    user.AppendRepeated(' ', 12 - user.size());
    FixedText<10> password(argv[6]);
    password.AppendRepeated(' ', 10 - password.size());
    RFC_CONNOPT_SERVER server{argv[2], static_cast<int32_t>(atoi(argv[3])), nullptr, nullptr};
    RFC_OPTIONS options{argv[1], RFC_MODE_SERVER, &server, argv[4], user.c_str(), password.c_str(), "E", 0};
    RFC_HANDLE handle = open(&options);
    if (handle == 0) return 4;

    RFC_TYPEHANDLE dateTime = 0, tableXpc = 0;
    install("DATE_TIME", const_cast<RFC_TYPE_ELEMENT *>(rfc::kDateTimeDescription), 2, &dateTime);
    install("TABLE_XPC", const_cast<RFC_TYPE_ELEMENT *>(rfc::kTableXpcDescription),
            sizeof rfc::kTableXpcDescription / sizeof rfc::kTableXpcDescription[0], &tableXpc);
    char date[8], time[6], stamp[rfc::kDateTimeLength];
    RFC_PARAMETER importing[] = {
        Parameter("CURR_DATE", RFCTYPE_DATE, sizeof date, date),
        Parameter("CURR_TIME", RFCTYPE_TIME, sizeof time, time),
        Parameter("DATETIME", dateTime, sizeof stamp, stamp),
        {nullptr, 0, 0, 0, nullptr},
    };
    ITAB_H table = create("TS", rfc::kTableXpcRowLength, 0, 0);
    RFC_PARAMETER exporting[] = {{nullptr, 0, 0, 0, nullptr}};
    RFC_TABLE tables[] = {{"TS", 2, tableXpc, 0, table, 0, 0}, {nullptr, 0, 0, 0, nullptr, 0, 0}};
    char *exception = nullptr;
    if (table == nullptr || call(handle, "DB_ORA_CURRENT_SIZES", exporting, tables) != RFC_OK ||
        receive(handle, importing, tables, &exception) != RFC_OK)
        return 5;
    unsigned rows = fill(table);
    for (unsigned i = 1; i <= rows; ++i)
        if (line(table, i) == nullptr) return 5;
    close(handle);
    return rows > 0 ? 0 : 5;
}
