#include "FunctionModules.h"

#include "Platform.h"

#include <algorithm>
#include <limits>

namespace sapsim {

namespace {

// Everything a function module may draw its answer from.
struct Source {
    const System &system;
    LocalTime now;
};

struct ParameterSource {
    const char *name;
    Value (*produce)(const Source &);
};

struct TableSource {
    const char *name;
    std::vector<Row> (*produce)(const Source &);
};

struct FunctionModule {
    const char *name;
    std::vector<ParameterSource> parameters;
    std::vector<TableSource> tables;
};

Value Text(std::string text) { return Value::Of(Scalar::Text(std::move(text))); }
Value Number(std::int64_t number) { return Value::Of(Scalar::Number(number)); }

std::string Date(const Source &source) { return source.system.date.value_or(source.now.date); }
std::string Time(const Source &source) { return source.system.time.value_or(source.now.time); }

// RFCSI: the named fields of the landscape over the defaults for the database system and the host.
Value SystemInfoRecord(const Source &source) {
    Record record;
    record["RFCDBSYS"] = Scalar::Text("ORACLE");
    record["RFCHOST"] = Scalar::Text(source.system.ashost.value_or("").substr(0, 8));
    for (const auto &[name, value] : source.system.sysinfo)
        record[name] = value;
    return Value::Of(std::move(record));
}

Value DateTimeRecord(const Source &source) {
    Record record;
    record["MONI_DATE"] = Scalar::Text(Date(source));
    record["MONI_TIME"] = Scalar::Text(Time(source));
    return Value::Of(std::move(record));
}

std::int64_t PercentUsed(const Tablespace &tablespace) {
    if (tablespace.pctUsed) return *tablespace.pctUsed;
    if (tablespace.sizeKb == 0) return 0;
    std::int64_t percent = (tablespace.sizeKb - tablespace.freeKb) * 100 / tablespace.sizeKb;
    return std::clamp<std::int64_t>(percent, std::numeric_limits<std::int32_t>::min(),
                                    std::numeric_limits<std::int32_t>::max());
}

// TABLE_XPC rows: one per tablespace, then the raw rows.
std::vector<Row> TablespaceRows(const Source &source) {
    std::vector<Row> rows;
    for (const Tablespace &tablespace : source.system.tablespaces) {
        Row row;
        row.record["TS"] = Scalar::Text(tablespace.name);
        row.record["TSIZE"] = Scalar::Number(tablespace.sizeKb);
        row.record["TFREE"] = Scalar::Number(tablespace.freeKb);
        row.record["TPCTUSED"] = Scalar::Number(PercentUsed(tablespace));
        row.record["STATUS"] = Scalar::Text(tablespace.status);
        row.record["TSAU"] = Scalar::Text(std::to_string(tablespace.autoextendKb));
        row.record["TSAUPCT"] = Scalar::Number(tablespace.autoextendPct);
        rows.push_back(std::move(row));
    }
    for (const std::vector<std::uint8_t> &bytes : source.system.rows) {
        Row row;
        row.isRaw = true;
        row.bytes = bytes;
        rows.push_back(std::move(row));
    }
    return rows;
}

const std::vector<FunctionModule> &FunctionModules() {
    static const std::vector<FunctionModule> modules = {
        {"RFC_SYSTEM_INFO",
         {
             {"CURRENT_RESOURCES", [](const Source &) { return Number(4); }},
             {"DIALOG_USER_TYPE", [](const Source &) { return Text(""); }},
             {"MAXIMAL_RESOURCES", [](const Source &) { return Number(8); }},
             {"RECOMMENDED_DELAY", [](const Source &) { return Number(0); }},
             {"RFCSI_EXPORT", SystemInfoRecord},
             {"RFC_LOGIN_COMPLETE", [](const Source &) { return Text("X"); }},
         },
         {}},
        {"DB_ORA_CURRENT_SIZES",
         {
             {"CURR_DATE", [](const Source &source) { return Text(Date(source)); }},
             {"CURR_TIME", [](const Source &source) { return Text(Time(source)); }},
             {"DATETIME", DateTimeRecord},
         },
         {{"TS", TablespaceRows}}},
    };
    return modules;
}

} // namespace

bool AnswerCall(std::string_view function, const System &system, Answer &answer) {
    for (const FunctionModule &module : FunctionModules()) {
        if (function != module.name) continue;
        Source source{system, CurrentLocalTime()};
        for (const ParameterSource &parameter : module.parameters) {
            answer.parameters[parameter.name] = parameter.produce(source);
        }
        for (const TableSource &table : module.tables)
            answer.tables[table.name] = table.produce(source);
        return true;
    }
    return false;
}

} // namespace sapsim
