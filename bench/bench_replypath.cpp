// The reply path on one core: raw bytes from the link, cut into line chunks,
// parsed into the status record (or the SRDA series). Rates are per second.
// The SRDA rows go the whole way a collection's rows go: the link's ready-read,
// the session's reading and routing to the run that owns the replies, its row reader.
#include "app/analyzersession.h"
#include "app/linecutter.h"
#include "app/statusparser.h"
#include "common/commandsequence.h"
#include "link/demomodel.h"
#include "link/orininterface.h"
#include "service/srdadata.h"
#include "service/srdarows.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>

namespace {

// A measure-mode report of 13 lines, as the simulated analyzer sends it.
QByteArray statusReport()
{
    DemoModel analyzer([] { return 1; });
    analyzer.interpret("opmode 2\r\n");
    return analyzer.report();
}

// A link whose bytes are handed in by the benchmark.
class BenchLink : public OrinInterface
{
public:
    QByteArray in;
    bool openConnection(ConnectionSettings) override { return open = true; }
    void closeConnection() override { open = false; }
    void writeData(QByteArray) override {}
    QByteArray readData() override { return std::exchange(in, QByteArray()); }
    bool connectionOpen() override { return open; }
    void arrive(const QByteArray &bytes)
    {
        in += bytes;
        emit readyRead();
    }
};

// An SRDA collection as the session sees it: the owner of the replies, which
// reads its rows into its table.
class Collection : public ReplyOwner
{
public:
    SrdaData data;
    SrdaRowReader reader{data};
    qint64 rows = 0;
    Collection()
    {
        reader.rowRead = [this](const double *) { ++rows; };
    }
    Kind runKind() const override { return Kind::Srda; }
    void reply(const QByteArray &chunk) override { reader.read(chunk); }
    void pauseRun() override {}
    void resumeRun() override {}
    void abandonRun(const QString &) override {}
    bool start() { return claimReplies(); }
};

// One SRDA row: time, then nine ring-down values.
QByteArray srdaRow(int i)
{
    QByteArray row = "2024-3-7 9:05:" + QByteArray::number(10 + i % 50);
    for (int c = 0; c < 9; ++c)
        row += '\t' + QByteArray::number(99.0 + (i * 7 + c) % 100 / 100.0, 'f', 3);
    return row + "\r\n";
}

// Reads of a fixed size, as a busy serial port or socket hands them over.
QList<QByteArray> inReads(const QByteArray &stream, int readSize)
{
    QList<QByteArray> reads;
    for (int at = 0; at < stream.size(); at += readSize)
        reads << stream.mid(at, readSize);
    return reads;
}

void feed(LineCutter &cutter, StatusParser &parser, const QList<QByteArray> &reads)
{
    for (const QByteArray &read : reads) {
        const QByteArray chunk = cutter.feed(read);
        if (!chunk.isEmpty())
            parser.parseData(QString::fromLatin1(chunk));
    }
}

void statusReports(benchmark::State &state)
{
    ParserState ps;
    ps.identified = true;
    StatusParser parser(ps);
    const StatusRecord &record = parser.record();
    LineCutter cutter;
    const QByteArray report = statusReport();
    const QList<QByteArray> reads = inReads(report, int(state.range(0)));
    for (auto _ : state) {
        feed(cutter, parser, reads);
        benchmark::DoNotOptimize(record.conc.size());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * report.size());
    state.SetLabel("status reports");
}
BENCHMARK(statusReports)->Arg(64)->Arg(4096);

void srdaRows(benchmark::State &state)
{
    const int rowsPerPass = 1000;
    BenchLink *link = nullptr;
    AnalyzerSession session([&](const ConnectionSettings &) { return link = new BenchLink; });
    // Connected and identified, with polls far apart, and the collection owning the replies.
    CommandSequence::setSecondMs(1);
    ConnectionSettings settings;
    settings.logInterval = 100000;
    settings.autoReconnect = false;
    session.connectTo(settings, false);
    QElapsedTimer waited;
    waited.start();
    while (session.lifecycle()->state() != ConnectionLifecycle::State::Connected &&
           waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    link->arrive("1234\r\n");
    Collection collection;
    session.enrol(&collection);
    if (!collection.start()) {
        state.SkipWithError("the collection did not get the replies");
        return;
    }
    link->arrive("Date/Time\tTau1\tTau2\tTau3\tTau4\tTau5\tTau6\tTau7\tTau8\tTau9\r\n");
    QByteArray stream;
    for (int i = 0; i < rowsPerPass; ++i)
        stream += srdaRow(i);
    const QList<QByteArray> reads = inReads(stream, int(state.range(0)));
    for (auto _ : state) {
        for (const QByteArray &read : reads)
            link->arrive(read);
        // Keep the series from growing through the whole run.
        if (collection.data.rowCount() > 200000)
            collection.data.setColumns(collection.data.columns());
    }
    if (collection.rows != state.iterations() * rowsPerPass)
        state.SkipWithError("rows were lost");
    state.SetItemsProcessed(state.iterations() * rowsPerPass);
    state.SetBytesProcessed(state.iterations() * stream.size());
    state.SetLabel("SRDA rows");
}
BENCHMARK(srdaRows)->Arg(64)->Arg(1024);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
