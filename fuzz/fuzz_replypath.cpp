// The reply path as the main window runs it: analyzer bytes arrive in pieces,
// are cut into whole-line chunks, identify the analyzer by its serial reply and
// then go to the status parser, in whichever window state the input picks (or,
// while an SRDA collection owns the replies, to its row reader).
//
// Input: [scenario] [modifiers] [split seed] then the received byte stream.
#include "app/identity.h"
#include "app/identityanswers.h"
#include "app/linecutter.h"
#include "app/statusparser.h"
#include "fuzz/fuzzcheck.h"
#include "service/srdadata.h"
#include "service/srdarows.h"

#include <QLoggingCategory>

#include <cmath>
#include <cstdint>

namespace {

enum Scenario
{
    NotIdentified,
    DemoNotIdentified,
    Identified,
    Compatibility,
    UnitsPending,
    SpeciesPending,
    ModelPending,
    SrdaRunning,
    UtilitiesTab,
    ServiceScansTab,
    OtherTab,
    ScenarioCount
};

// Modifier bits.
constexpr uint8_t pollTicksBit = 0x04; // a poll tick after every piece re-arms the queries
constexpr uint8_t demoBit = 0x08;

class ReplyPath
{
public:
    ReplyPath(Scenario scenario, uint8_t modifiers) : parser(state)
    {
        reader.columnsSet = [this] {
            FUZZ_CHECK(data.columns().value(0) == QLatin1String("Date/Time"));
            FUZZ_CHECK(data.rowCount() == 0);
            rowsSinceHeader = 0;
        };
        reader.rowRead = [this](const double *row) {
            ++rowsSinceHeader;
            FUZZ_CHECK(std::isfinite(row[0]));
            // Past the memory limit rows still come, for the live plot, unstored.
            if (data.limitReached()) {
                FUZZ_CHECK(data.rowCount() < rowsSinceHeader);
                return;
            }
            FUZZ_CHECK(data.rowCount() == rowsSinceHeader);
            FUZZ_CHECK(data.value(data.rowCount() - 1, 0) == row[0]);
        };
        state.demoMode = modifiers & demoBit;
        state.identified = scenario != NotIdentified && scenario != DemoNotIdentified;
        if (scenario == DemoNotIdentified)
            state.demoMode = true;
        state.compatibilityMode = scenario == Compatibility;
        // Answers already in are what the later queries build on.
        if (scenario == SpeciesPending || scenario == ModelPending)
            state.unitsCode = QStringLiteral("1");
        if (scenario == ModelPending)
            state.speciesName = QStringLiteral("CH4");
        if (scenario == UnitsPending)
            answers.ask(IdentityAnswers::Units);
        if (scenario == SpeciesPending)
            answers.ask(IdentityAnswers::Species);
        if (scenario == ModelPending)
            answers.ask(IdentityAnswers::Model);
        srda = scenario == SrdaRunning;
        // Monitoring's own poll is out only with the dashboard in front.
        state.statusPolled = scenario != UtilitiesTab && scenario != ServiceScansTab &&
                             scenario != OtherTab && scenario != SrdaRunning;
        pollTicks = modifiers & pollTicksBit;
    }

    void receive(const QByteArray &bytes)
    {
        const QByteArray chunk = cutter.feed(bytes);
        const QByteArray pending = cutter.pending();
        FUZZ_CHECK(pending.size() <= LineCutter::cap);
        FUZZ_CHECK(!pending.contains('\n'));
        if (!chunk.isEmpty()) {
            FUZZ_CHECK(chunk.endsWith('\n'));
            FUZZ_CHECK(chunk.size() <= LineCutter::cap + bytes.size());
            route(chunk);
        }
        FUZZ_CHECK(data.rowCount() == 0 || data.columnCount() > 0);
        if (pollTicks)
            pollTick();
    }

private:
    void route(const QByteArray &chunk)
    {
        if (!state.identified) {
            if (state.demoMode) {
                state.identified = true;
                return;
            }
            const QString serial = serialFromReply(chunk);
            if (serial.isNull())
                return;
            FUZZ_CHECK(serial.size() <= 4);
            state.serialNumber = serial;
            state.statusPolled = true;
            state.identified = true;
            return;
        }
        if (srda) {
            reader.read(chunk); // the collection owns the replies
            return;
        }
        const bool unitsAsked = answers.awaits(IdentityAnswers::Units);
        const bool speciesAsked = answers.awaits(IdentityAnswers::Species);
        const bool modelAsked = answers.awaits(IdentityAnswers::Model);
        const QString text = QString::fromLatin1(chunk);
        const IdentityAnswers::Learned learned = answers.read(text, state, parser.record());
        const bool notOurs = answers.awaits(IdentityAnswers::Units) || learned.unknownUnits;
        // Every report carries a status text, the compatibility line included.
        for (const StatusReport &report : parser.parseData(text, notOurs))
            FUZZ_CHECK(!report.record.statusText.isEmpty());
        // An answered query leaves its answer behind, so it is never asked again.
        FUZZ_CHECK(!unitsAsked || answers.awaits(IdentityAnswers::Units) ||
                   !state.unitsCode.isEmpty());
        FUZZ_CHECK(!speciesAsked || answers.awaits(IdentityAnswers::Species) ||
                   !state.speciesName.isEmpty());
        FUZZ_CHECK(!modelAsked || answers.awaits(IdentityAnswers::Model) ||
                   !state.modelName.isEmpty());
    }

    // The identity part of the poll tick: compatibility mode blanks the queries,
    // otherwise every missing answer is asked for again.
    void pollTick()
    {
        if (state.compatibilityMode) {
            state.unitsCode = state.speciesName = state.modelName = QStringLiteral(" ");
            answers.forget();
        }
        if (srda || !state.identified)
            return;
        if (state.unitsCode.isEmpty())
            answers.ask(IdentityAnswers::Units);
        if (state.speciesName.isEmpty())
            answers.ask(IdentityAnswers::Species);
        if (state.modelName.isEmpty())
            answers.ask(IdentityAnswers::Model);
    }

    ParserState state;
    StatusParser parser;
    IdentityAnswers answers;
    SrdaData data;
    SrdaRowReader reader{data};
    bool srda = false;
    int rowsSinceHeader = 0;
    LineCutter cutter;
    bool pollTicks = false;
};

// Read sizes as a serial port or socket hands them over: single bytes, small
// and large reads, reads just past the cutter's limit, or everything at once.
class Splitter
{
public:
    explicit Splitter(uint8_t seed) : style(seed & 7), rng(0x9e3779b9u * (seed + 1u)) {}

    int next()
    {
        rng = rng * 1664525u + 1013904223u;
        const uint32_t r = rng >> 8;
        switch (style) {
        case 0:
            return 1;
        case 1:
            return 1 + int(r % 8);
        case 2:
            return 1 + int(r % 64);
        case 3:
            return 1 + int(r % 600);
        case 4:
            return 13;
        case 5:
            return 256;
        case 6:
            return LineCutter::cap + 1;
        default:
            return 1 << 30;
        }
    }

private:
    uint8_t style;
    uint32_t rng;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const auto scenario = Scenario(data[0] % ScenarioCount);
    ReplyPath path(scenario, data[1]);
    Splitter splitter(data[2]);
    const char *stream = reinterpret_cast<const char *>(data + 3);
    const size_t streamSize = size - 3;
    size_t at = 0;
    while (at < streamSize) {
        const size_t piece = std::min(size_t(splitter.next()), streamSize - at);
        path.receive(QByteArray(stream + at, int(piece)));
        at += piece;
    }
    return 0;
}
