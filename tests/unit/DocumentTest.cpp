#include <gtest/gtest.h>

#include <string>

#include "driver/Options.h"
#include "output/ChannelNames.h"
#include "output/Document.h"

namespace {

TextBase &documentBuffer = output::document.buffer;
int32_t &channelCount = output::document.channelCount;

class Document : public ::testing::Test {
  protected:
    void SetUp() override {
        documentBuffer.Clear();
        channelCount = 0;
        ConfigureDocument(DocumentSettings());
    }
    // The writer's settings as the option text gives them, in the current mode.
    static void SetOptions(const char *asGiven) {
        OptionText text;
        JoinOptionText(text, asGiven, nullptr);
        Options options;
        ParseOptions(text.upper, text.asGiven, options);
        options.document.mode = CurrentOutputMode();
        ConfigureDocument(options.document);
    }
    static void SetMode(OutputMode mode) {
        DocumentSettings settings = output::document.settings;
        settings.mode = mode;
        ConfigureDocument(settings);
    }
    // The document of one summary text and two channels, as a single-system run writes it.
    static std::string TwoChannelRun() {
        std::string out;
        BeginDocument();
        BeginText();
        AppendTextContent("T");
        EndText();
        out += documentBuffer.c_str();
        documentBuffer.Clear();
        WriteChannel("N1", "V1", "U1");
        out += documentBuffer.c_str();
        documentBuffer.Clear();
        WriteChannel("N2", "V2", "");
        out += documentBuffer.c_str();
        documentBuffer.Clear();
        EndDocument();
        out += documentBuffer.c_str();
        documentBuffer.Clear();
        return out;
    }
};

TEST_F(Document, ExeXmlDocument) {
    EXPECT_EQ(TwoChannelRun(),
              "\n<Prtg>\n\n<Text>T</Text>\n\n"
              "<Result><Channel>N1</Channel>\n<Unit>Custom</Unit>\n<CustomUnit>U1</CustomUnit>\n"
              "<Value>V1</Value></Result>\n\n"
              "<Result><Channel>N2</Channel>\n<Value>V2</Value></Result>\n\n</Prtg>\n");
}

TEST_F(Document, OstravelLines) {
    SetMode(OutputMode::Ostravel);
    EXPECT_EQ(TwoChannelRun(),
              "\n# T\n\nMessage.N1: N1 (U1)\nStatistic.N1: V1\n\nMessage.N2: N2 (#)\nStatistic.N2: V2\n");
}

TEST_F(Document, BrennicLines) {
    SetMode(OutputMode::Brennic);
    EXPECT_EQ(TwoChannelRun(), "\n# T\n> N1: V1 U1\n> N2: V2 #\n");
}

TEST_F(Document, BrennicSelectedChannel) {
    SetMode(OutputMode::Brennic);
    SetOptions("ch=2");
    EXPECT_EQ(TwoChannelRun(), "V2\n");
    channelCount = 0;
    SetOptions("CH=1234");
    for (int i = 0; i < 122; ++i)
        WriteChannel("x", "v", "");
    documentBuffer.Clear();
    WriteChannel("x", "123rd", "");
    EXPECT_STREQ(documentBuffer.c_str(), "123rd");
    for (const char *none : {"CH=0", "CH=X"}) {
        channelCount = 0;
        SetOptions(none);
        EXPECT_EQ(TwoChannelRun(), "\n") << none;
    }
    channelCount = 0;
    SetOptions("CH=2,SYSLOG");
    EXPECT_EQ(TwoChannelRun(), "V2\n");
}

TEST_F(Document, UnitNormalisationOnlyInLineModes) {
    WriteChannel("a", "1", "PerCent");
    WriteChannel("b", "2", "TimeResponse");
    EXPECT_STREQ(documentBuffer.c_str(),
                 "\n<Result><Channel>a</Channel>\n<Unit>Custom</Unit>\n<CustomUnit>PerCent"
                 "</CustomUnit>\n<Value>1</Value></Result>\n"
                 "\n<Result><Channel>b</Channel>\n<Unit>Custom</Unit>\n<CustomUnit>"
                 "TimeResponse</CustomUnit>\n<Value>2</Value></Result>\n");
    documentBuffer.Clear();
    SetMode(OutputMode::Brennic);
    WriteChannel("a", "1", "PerCent");
    WriteChannel("b", "2", "TimeResponse");
    WriteChannel("c", "3", "percent");
    EXPECT_STREQ(documentBuffer.c_str(), "\n> a: 1 %\n> b: 2 mSec\n> c: 3 percent");
}

TEST_F(Document, OstravelKeepsTheFirstTenChannelsOfTheProcess) {
    SetMode(OutputMode::Ostravel);
    for (int i = 1; i <= 10; ++i)
        WriteChannel("c", "v", "u");
    std::string ten = documentBuffer.c_str();
    WriteChannel("eleventh", "v", "u");
    WriteChannel("twelfth", "v", "u");
    EXPECT_EQ(documentBuffer.c_str(), ten);
    EXPECT_EQ(channelCount, 12);
}

TEST_F(Document, CleanedKeys) {
    struct {
        const char *name, *key;
    } cases[] = {{"Used (MB)", "Used__MB_"}, {"a.b.c", "a_b.c"}, {"x-y:z", "x_y_z"}, {"/\\[]*", "_____"}};
    for (const auto &c : cases) {
        FixedText<40> key(c.name);
        CleanChannelKey(key);
        EXPECT_STREQ(key.c_str(), c.key);
    }
    SetMode(OutputMode::Ostravel);
    WriteChannel("PRD.P00", "75", "%");
    EXPECT_STREQ(documentBuffer.c_str(), "\n\nMessage.PRD_P00: PRD.P00 (%)\nStatistic.PRD_P00: 75");
}

TEST_F(Document, ErrorDocumentInEveryModeDiscardsTheBuffer) {
    for (OutputMode mode : {OutputMode::ExeXml, OutputMode::Ostravel, OutputMode::Brennic}) {
        SetMode(mode);
        BeginDocument();
        WriteChannel("a", "1", "u");
        WriteErrorDocument("Error 1001: Parameter for Profile-Name is missing !");
        EXPECT_STREQ(documentBuffer.c_str(), "<Prtg>\n<Error>1</Error>\n<Text>Error 1001: Parameter for "
                                             "Profile-Name is missing !</Text>\n</Prtg>\n");
    }
}

TEST_F(Document, ErrorDocumentFromTheBufferItself) {
    documentBuffer.Assign("Error 1014: RFC-Failure raised ! - Look for Trace-File");
    WriteErrorDocument(documentBuffer.c_str());
    EXPECT_STREQ(documentBuffer.c_str(),
                 "<Prtg>\n<Error>1</Error>\n<Text>Error 1014: RFC-Failure raised ! - Look for "
                 "Trace-File</Text>\n</Prtg>\n");
}

TEST_F(Document, XmlTextsAreEscaped) {
    BeginDocument();
    BeginText();
    AppendTextContent("(R&D) <x>");
    EndText();
    WriteChannel("A&B<C>", "1&2", "<u>");
    EXPECT_STREQ(documentBuffer.c_str(),
                 "\n<Prtg>\n\n<Text>(R&amp;D) &lt;x&gt;</Text>\n"
                 "\n<Result><Channel>A&amp;B&lt;C&gt;</Channel>\n<Unit>Custom</Unit>\n"
                 "<CustomUnit>&lt;u&gt;</CustomUnit>\n<Value>1&amp;2</Value></Result>\n");
    WriteErrorDocument("Error 1002: Profile <A&B>.P00 is missing...");
    EXPECT_STREQ(documentBuffer.c_str(),
                 "<Prtg>\n<Error>1</Error>\n<Text>Error 1002: Profile &lt;A&amp;B&gt;.P00 is "
                 "missing...</Text>\n</Prtg>\n");
}

TEST_F(Document, BytesXmlCannotCarry) {
    BeginDocument();
    BeginText();
    AppendTextContent("Tabelle f\xfcr \x01x\ty");
    EndText();
    EXPECT_STREQ(documentBuffer.c_str(), "\n<Prtg>\n\n<Text>Tabelle f&#252;r ?x\ty</Text>\n");
    WriteErrorDocument("\xc4\x7f\x1b");
    EXPECT_STREQ(documentBuffer.c_str(), "<Prtg>\n<Error>1</Error>\n<Text>&#196;\x7f?</Text>\n</Prtg>\n");
}

TEST_F(Document, RunEndingErrorClosesTheDocumentAlreadyOut) {
    testing::internal::CaptureStdout();
    BeginDocument();
    FlushDocument();
    WriteChannel("PRD.P00", "75", "%");
    FlushDocument();
    WriteRunEndingError("Error 1018: DataBase mismatch !");
    // Once the document is closed, the next error stands alone again.
    WriteRunEndingError("Error 1001: x");
    SetMode(OutputMode::Brennic);
    BeginDocument();
    FlushDocument();
    WriteRunEndingError("Error 1002: y");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n<Prtg>\n\n<Result><Channel>PRD.P00</Channel>\n<Unit>Custom</Unit>\n<CustomUnit>%</CustomUnit>\n"
              "<Value>75</Value></Result>\n<Error>1</Error>\n<Text>Error 1018: DataBase mismatch !</Text>\n</Prtg>\n"
              "<Prtg>\n<Error>1</Error>\n<Text>Error 1001: x</Text>\n</Prtg>\n"
              "<Prtg>\n<Error>1</Error>\n<Text>Error 1002: y</Text>\n</Prtg>\n");
}

TEST_F(Document, LineModesStayVerbatim) {
    SetMode(OutputMode::Brennic);
    BeginDocument();
    BeginText();
    AppendTextContent("(R&D) <x>");
    WriteChannel("A&B", "1", "<u>");
    EXPECT_STREQ(documentBuffer.c_str(), "\n# (R&D) <x>\n> A&B: 1 <u>");
}

TEST_F(Document, OverlongPiecesAreCutNeverOverrun) {
    std::string huge(10000, 'n');
    BeginDocument();
    WriteChannel(huge.c_str(), huge.c_str(), huge.c_str());
    // Name, value and unit go in through their 123-character copies: the element stays whole.
    std::string n123(123, 'n');
    EXPECT_EQ(std::string(documentBuffer.c_str()),
              "\n<Prtg>\n\n<Result><Channel>" + n123 + "</Channel>\n<Unit>Custom</Unit>\n<CustomUnit>" + n123 +
                  "</CustomUnit>\n<Value>" + n123 + "</Value></Result>\n");
    EXPECT_FALSE(documentBuffer.truncated());
    // A text of any length leaves room for the closing tags of the text and of the document.
    BeginDocument();
    BeginText();
    AppendTextContent(std::string(5000, '<').c_str());
    EndText();
    EndDocument();
    std::string whole = documentBuffer.c_str();
    EXPECT_EQ(whole.substr(whole.size() - 21), "&lt;</Text>\n\n</Prtg>\n");
    EXPECT_TRUE(documentBuffer.truncated());
    // An overlong error text is cut, never its closing tags, and never inside an entity.
    WriteErrorDocument((huge + "&").c_str());
    EXPECT_LE(documentBuffer.size(), kDocumentCapacity);
    EXPECT_TRUE(documentBuffer.truncated()); // the cut stays visible
    std::string document = documentBuffer.c_str();
    EXPECT_EQ(document.substr(document.size() - 16), "</Text>\n</Prtg>\n");
    std::string ampersands(3000, '&');
    WriteErrorDocument(ampersands.c_str());
    document = documentBuffer.c_str();
    EXPECT_EQ(document.substr(document.size() - 21), "&amp;</Text>\n</Prtg>\n");
    SetMode(OutputMode::Ostravel);
    BeginDocument();
    std::string name(1000, 'n');
    WriteChannel(name.c_str(), huge.c_str(), huge.c_str());
    // The key, value and unit copies hold 123 characters each; the name goes in whole.
    std::string key(123, 'n');
    std::string cut(123, 'n');
    EXPECT_EQ(std::string(documentBuffer.c_str()),
              "\n\nMessage." + key + ": " + name + " (" + cut + ")\nStatistic." + key + ": " + cut);
}

TEST(ChannelNames, RepeatsNumberedAtTheFirstFreeNumber) {
    ResetChannelNames();
    auto unique = [](const char *given) {
        FixedText<kChannelNameCapacity> name(given);
        MakeChannelNameUnique(name);
        return std::string(name.c_str());
    };
    EXPECT_EQ("A", unique("A"));
    EXPECT_EQ("B", unique("B"));
    EXPECT_EQ("A (2)", unique("A"));
    EXPECT_EQ("A (2) (2)", unique("A (2)")); // a name that is a numbered one is taken as well
    EXPECT_EQ("A (3)", unique("A"));
    EXPECT_EQ(3u, NumberedChannelNames());
    // The number stays whole where the name fills the channel name's room.
    std::string full(kChannelNameCapacity, 'x');
    EXPECT_EQ(full, unique(full.c_str()));
    EXPECT_EQ(full.substr(0, kChannelNameCapacity - 4) + " (2)", unique(full.c_str()));
    ResetChannelNames();
    EXPECT_EQ("A", unique("A"));
    EXPECT_EQ(0u, NumberedChannelNames());
}

} // namespace
