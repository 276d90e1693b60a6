#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "TempDirectory.h"
#include "driver/Options.h"
#include "space/Forecast.h"
#include "space/History.h"

namespace {

HistoryStore &Store() {
    static HistoryStore store;
    return store;
}

int32_t Hour(const char *date, const char *time = "000000") {
    int32_t hours = -1;
    EXPECT_TRUE(HoursSinceEpoch(date, time, hours)) << date << " " << time;
    return hours;
}

HistoryState ReadText(const std::string &text, HistoryStore &store,
                      const char *system = "System PRD sapprd01") {
    FILE *file = fmemopen(const_cast<char *>(text.data()), text.size(), "rb");
    FixedText<127> systemLine(system);
    HistoryState state = ReadHistory(file, systemLine, store);
    fclose(file);
    return state;
}

std::string ReadWhole(const std::string &name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(History, HoursOfTheSystemsDateAndTime) {
    EXPECT_EQ(Hour("19700101", "005959"), 0);
    EXPECT_EQ(Hour("19700102", "010000"), 25);
    // Across a leap day and a year's end the stamp reads back as it was written.
    for (const char *date : {"20240228", "20240229", "20240301", "20261231", "20270101", "21000301"}) {
        FixedText<15> stamp;
        AppendHourStamp(stamp, Hour(date, "230000"));
        EXPECT_EQ(std::string(stamp.c_str()), std::string(date) + "23");
    }
    EXPECT_EQ(Hour("20240301") - Hour("20240228"), 48); // 2024 has a 29 February
    int32_t hours = 0;
    for (const char *bad : {"20230229", "20241301", "20240100", "19691231", "2024 101", "        "})
        EXPECT_FALSE(HoursSinceEpoch(bad, "120000", hours)) << bad;
    EXPECT_FALSE(HoursSinceEpoch("20240101", "240000", hours));
    EXPECT_FALSE(HoursSinceEpoch("20240101", "126000", hours));
    EXPECT_FALSE(HoursSinceEpoch("20240101", "000000", hours) && hours < 0);
}

TEST(History, FileNameAndSystemLine) {
    FixedText<100> name;
    HistoryFileName(name, "PRD", "sapprd01");
    EXPECT_STREQ(name.c_str(), "Marrowind-PRD-sapprd01.hst");
    HistoryFileName(name, "P/D", "a\\b.c:");
    EXPECT_STREQ(name.c_str(), "Marrowind-P_D-a_b_c_.hst");
}

TEST(History, ReadsItsOwnFileAndRefusesEverythingElse) {
    HistoryStore &store = Store();
    const std::string head = "SAP Marrowind history 1\nSystem PRD sapprd01\n";
    EXPECT_EQ(
        ReadText(head + "2026120815 100 PSAPSR3\r\n2026120815 -5 PSAP UNDO\n2026120816 120 PSAPSR3\n", store),
        HistoryState::Read);
    ASSERT_EQ(store.entryCount, 3u);
    EXPECT_EQ(store.entries[1].usedKb, -5);
    EXPECT_STREQ(store.names[store.entries[1].tablespace].c_str(), "PSAP UNDO");
    EXPECT_EQ(store.entries[2].hour - store.entries[0].hour, 1);

    EXPECT_EQ(ReadText(head + "2026120815 -9223372036854775808 A\n2026120815 9223372036854775807 B\n", store),
              HistoryState::Read);
    EXPECT_EQ(store.entries[0].usedKb, INT64_MIN);
    EXPECT_EQ(ReadText(head, store), HistoryState::Read);
    EXPECT_EQ(ReadText("", store), HistoryState::Damaged);
    EXPECT_EQ(ReadText("SAP Marrowind history 1\n", store), HistoryState::Damaged);
    EXPECT_EQ(ReadText("SAP Marrowind history 2\nSystem PRD sapprd01\n", store), HistoryState::Foreign);
    EXPECT_EQ(ReadText(head, store, "System QAS sapqas"), HistoryState::Foreign);
    for (const char *line : {"2026120815 100 PSAPSR3",                           // cut short: no line end
                             "2026120824 100 PSAPSR3\n",                         // hour 24
                             "2026120815 1x0 PSAPSR3\n",                         // not a number
                             "2026120815 100 \n",                                // no name
                             "2026120815  100 PSAPSR3\n",                        // two blanks
                             "2026120815 9223372036854775808 PSAPSR3\n",         // beyond 64 bits
                             "2026120815 100 PSAPSR3\n2026120815 101 PSAPSR3\n", // two samples of an hour
                             "2026120816 100 PSAPSR3\n2026120815 100 PSAPSR3\n", // out of order
                             "2026120815 100 PSAP\x01SR3\n"}) {
        EXPECT_EQ(ReadText(head + line, store), HistoryState::Damaged) << line;
        EXPECT_EQ(store.entryCount, 0u);
    }
}

TEST(History, KeepsThirtyFiveDaysUpToNowAndOneSampleAnHour) {
    HistoryStore &store = Store();
    store.Clear();
    int32_t now = Hour("20261208", "150000");
    AddHistorySample(store, now - kHistoryHours, "PSAPSR3", 1);     // 35 days ago: dropped
    AddHistorySample(store, now - kHistoryHours + 1, "PSAPSR3", 2); // kept
    AddHistorySample(store, now, "PSAPSR3", 3);
    AddHistorySample(store, now, "PSAPSR3", 4);      // the hour has its sample
    AddHistorySample(store, now + 25, "PSAPSR3", 5); // a clock set back later: dropped
    AddHistorySample(store, now + 1, "PSAPSR3", 6);  // a sensor beside a little ahead: kept
    EXPECT_FALSE(AddHistorySample(store, now, "", 6));
    DropStaleEntries(store, now);
    ASSERT_EQ(store.entryCount, 3u);
    EXPECT_EQ(store.entries[0].usedKb, 2);
    EXPECT_EQ(store.entries[1].usedKb, 3);
    EXPECT_EQ(store.entries[2].usedKb, 6);
    AddHistorySample(store, now - 1, "PSAPSR3", 7); // arrives late, stands in its place
    EXPECT_EQ(store.entries[1].usedKb, 7);

    // A full store gives up its oldest hour, whole.
    store.Clear();
    for (uint32_t i = 0; i < kHistoryEntryCapacity; ++i)
        AddHistorySample(store, static_cast<int32_t>(i / 2), i % 2 ? "B" : "A", i);
    AddHistorySample(store, 1000000, "C", 7);
    EXPECT_EQ(store.entryCount, kHistoryEntryCapacity - 1);
    EXPECT_EQ(store.entries[0].hour, 1);
    EXPECT_EQ(store.entries[store.entryCount - 1].usedKb, 7);
}

void AddSeries(HistoryStore &store, int32_t start, int32_t stepHours,
               const std::initializer_list<int64_t> &used) {
    int32_t hour = start;
    for (int64_t value : used) {
        AddHistorySample(store, hour, "PSAPSR3", value);
        hour += stepHours;
    }
}

TEST(Forecast, TrendOfTheSamples) {
    HistoryStore &store = Store();
    store.Clear();
    AddSeries(store, 1000, 12, {1000, 1500, 2000}); // 1,000 KB a day over a day
    TablespaceTrend trend = ComputeTrend(store, 0, 2000, 12500);
    EXPECT_EQ(trend.kind, TrendKind::Growing);
    EXPECT_EQ(trend.days, 10);
    EXPECT_EQ(trend.samples, 3u);
    EXPECT_EQ(trend.spanHours, 24);
    EXPECT_EQ(ComputeTrend(store, 0, 2000, 2000).days, 0); // reached
    EXPECT_EQ(ComputeTrend(store, 0, 2000, 1000).days, 0); // beyond
    EXPECT_EQ(ComputeTrend(store, 0, 2000, INT64_MAX).days, kNeverFullDays);

    store.Clear();
    AddSeries(store, 1000, 12, {2000, 1500, 1000});
    EXPECT_EQ(ComputeTrend(store, 0, 1000, 5000).kind, TrendKind::NotGrowing);
    store.Clear();
    AddSeries(store, 1000, 12, {2000, 2000, 2000});
    EXPECT_EQ(ComputeTrend(store, 0, 2000, 5000).kind, TrendKind::NotGrowing);
    EXPECT_EQ(ComputeTrend(store, 0, 2000, 5000).days, kNeverFullDays);

    // Least squares, not the two ends: one outlier does not decide.
    store.Clear();
    AddSeries(store, 1000, 24, {0, 5000, 1000, 1500, 2000});
    EXPECT_EQ(ComputeTrend(store, 0, 2000, 100000).kind, TrendKind::Growing);
    EXPECT_EQ(ComputeTrend(store, 0, 2000, 100000).days, 1960); // 50 KB a day (the ends: 500)

    // Too little: two samples, or three within a day.
    store.Clear();
    AddSeries(store, 1000, 24, {1000, 2000});
    EXPECT_EQ(ComputeTrend(store, 0, 2000, 5000).kind, TrendKind::TooLittleHistory);
    store.Clear();
    AddSeries(store, 1000, 11, {1000, 2000, 3000});
    EXPECT_EQ(ComputeTrend(store, 0, 3000, 5000).kind, TrendKind::TooLittleHistory);
}

ForecastRow Row(const char *name, int64_t used, int64_t reach) {
    ForecastRow row;
    row.name.Assign(name);
    row.usedKb = used;
    row.reachKb = reach;
    return row;
}

void Forecast(const char *date, const char *time, const ForecastRow *rows, uint32_t count,
              ForecastOutcome &outcome, const char *system = "PRD") {
    ForecastRequest request;
    request.systemId = system;
    request.host = "sapprd01";
    request.date = date;
    request.time = time;
    request.rows = rows;
    request.rowCount = count;
    RunForecast(request, outcome);
}

TEST(Forecast, RunsKeepTheFileAndNameTheFirstToFill) {
    TempDirectory dir;
    ForecastOutcome outcome;
    ForecastRow rows[2];
    const char *times[] = {"000000", "120000", "005959"};
    for (int run = 0; run < 3; ++run) {
        rows[0] = Row("PSAPSR3", 1000 + 1000 * run, 100000);  // 2,000 KB a day: 48 days
        rows[1] = Row("PSAPSR3USR", 5000 + 500 * run, 10000); // 1,000 KB a day: 4 days
        Forecast(run < 2 ? "20261207" : "20261208", times[run], rows, 2, outcome);
    }
    EXPECT_EQ(outcome.days, 4);
    EXPECT_STREQ(outcome.tablespace.c_str(), "PSAPSR3USR");
    EXPECT_STREQ(outcome.note.c_str(), "- Days until full: 4 (PSAPSR3USR)");
    EXPECT_EQ(ReadWhole("Marrowind-PRD-sapprd01.hst"),
              "SAP Marrowind history 1\nSystem PRD sapprd01\n"
              "2026120700 1000 PSAPSR3\n2026120700 5000 PSAPSR3USR\n"
              "2026120712 2000 PSAPSR3\n2026120712 5500 PSAPSR3USR\n"
              "2026120800 3000 PSAPSR3\n2026120800 6000 PSAPSR3USR\n");

    // Damaged: started afresh, and said.
    dir.Write("Marrowind-PRD-sapprd01.hst", "SAP Marrowind history 1\nSystem PRD sapprd01\nrubbish\n");
    Forecast("20261209", "000000", rows, 1, outcome);
    EXPECT_EQ(outcome.days, kNeverFullDays);
    EXPECT_STREQ(outcome.note.c_str(),
                 "- Days until full: none yet, too little history (1 sample over 0 h; 3 over "
                 "24 h needed) - history damaged, started afresh");
    EXPECT_EQ(ReadWhole("Marrowind-PRD-sapprd01.hst"),
              "SAP Marrowind history 1\nSystem PRD sapprd01\n2026120900 3000 PSAPSR3\n");

    // Unreadable (a directory of its name) and never written: said, never fatal.
    std::filesystem::create_directory(dir.path() / "Marrowind-QAS-sapprd01.hst");
    Forecast("20261209", "000000", rows, 1, outcome, "QAS");
    EXPECT_NE(
        std::string(outcome.note.c_str()).find("- history unreadable, started afresh - history not written"),
        std::string::npos);
    Forecast("2026120x", "000000", rows, 1, outcome);
    EXPECT_STREQ(outcome.note.c_str(), "- Days until full: none, the system sent no valid date and time");
}

// Sensors of one system side by side: every process's sample arrives, none is lost or mixed.
TEST(Forecast, SensorsSideBySideLoseNoSample) {
    TempDirectory dir;
    constexpr int kProcesses = 4;
    constexpr int kRunsEach = 6;
    pid_t children[kProcesses];
    for (int p = 0; p < kProcesses; ++p) {
        children[p] = fork();
        ASSERT_GE(children[p], 0);
        if (children[p] != 0) continue;
        for (int run = 0; run < kRunsEach; ++run) {
            // Each process its own hours of one day, in any order against the others.
            char time[7];
            snprintf(time, sizeof time, "%02d0000", p * kRunsEach + run);
            ForecastRow row = Row("PSAPSR3", p * 100 + run, 100000);
            ForecastOutcome outcome;
            Forecast("20261201", time, &row, 1, outcome);
        }
        _exit(0);
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    FILE *file = fopen("Marrowind-PRD-sapprd01.hst", "rb");
    ASSERT_NE(file, nullptr);
    FixedText<127> system("System PRD sapprd01");
    HistoryStore &store = Store();
    EXPECT_EQ(ReadHistory(file, system, store), HistoryState::Read);
    fclose(file);
    ASSERT_EQ(store.entryCount, static_cast<uint32_t>(kProcesses * kRunsEach));
    for (uint32_t i = 0; i < store.entryCount; ++i)
        EXPECT_EQ(store.entries[i].usedKb, (i / kRunsEach) * 100 + i % kRunsEach);
}

TEST(Forecast, OptionKeywords) {
    Options options;
    FixedText<127> text("max,free,forecast,nolevels=psap*;x,days=60;14");
    FixedText<127> upper(text.c_str());
    upper.ToUpper();
    ParseOptions(upper, text, options);
    EXPECT_TRUE(options.space.fullest && options.space.free && options.space.forecast &&
                options.space.limits);
    EXPECT_STREQ(options.space.noLevels.c_str(), "PSAP*;X");
    EXPECT_EQ(options.space.warningDays, 60);
    EXPECT_EQ(options.space.errorDays, 14);
    EXPECT_EQ(options.sizeUnit, SizeUnit::Gigabyte);

    text.Assign("free megabyte,nolevels=");
    upper.Assign(text);
    upper.ToUpper();
    ParseOptions(upper, text, options);
    EXPECT_EQ(options.sizeUnit, SizeUnit::Megabyte);
    EXPECT_TRUE(options.space.noLevels.empty());
    EXPECT_FALSE(options.space.limits);
    EXPECT_STREQ(options.space.noLevels.c_str(), "");

    text.Assign("item=MAXIMUM,days=3x");
    upper.Assign(text);
    upper.ToUpper();
    ParseOptions(upper, text, options);
    EXPECT_FALSE(options.space.fullest);
    EXPECT_STREQ(options.space.noLevels.c_str(), "*TEMP*;*UNDO*;PSAPROLL");
    FixedText<255> error;
    EXPECT_FALSE(CheckOptions(options, error));
    EXPECT_STREQ(error.c_str(), "Error 1035: Invalid Option-Value days=3x !");
}

} // namespace
