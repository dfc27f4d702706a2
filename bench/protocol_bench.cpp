// Time the receive path needs to take in and decode one record answer.
#include "nulllinkevents.h"
#include "protocol/instrumentlink.h"
#include "protocol/linkports.h"
#include "simframes.h"

#include <benchmark/benchmark.h>

namespace {

class NullLine : public FrameSink {
public:
    bool isOpen() const override { return true; }
    void sendFrame(const QByteArray&) override {}
};

void recordAnswer(benchmark::State& bench, int channels) {
    NullLine line;
    NullLinkEvents events;
    const UserGasNames userGases;
    InstrumentLink link(line, events, userGases);
    link.setChannelCount(static_cast<quint8>(channels));
    PollState& state = link.state();
    state.sixChannel = channels == 6 ? 1 : 0;
    state.recordTotal = 0xFFFFFFFF;
    state.chanPrecision = {0, 1, 2, 3, 1, 2};
    for (auto& name : state.chanGasName) {
        name = QStringLiteral("CO      ");
    }
    for (auto& unit : state.chanUnitName) {
        unit = QStringLiteral("PPM");
    }
    SimulatorConfig config = channels == 6 ? SimulatorConfig::sixChannels() : SimulatorConfig();
    config.recordCount = 1000;
    SimRequest request;
    request.function = 0x41;
    request.recordNumber = 777;
    const QByteArray answer = simAnswerFor(config, request);

    for (auto _ : bench) {
        // What every record request does before its answer comes.
        ClearReceiveBuffer(state);
        state.awaitingRecord = 1;
        state.recordIndex = 1;
        link.receive(answer);
        benchmark::DoNotOptimize(state.storeRow);
    }
    if (state.awaitingRecord != 0) {
        bench.SkipWithError("the answer was not decoded");
    }
    bench.SetItemsProcessed(bench.iterations());
}

void bmRecordAnswerFourChannels(benchmark::State& bench) {
    recordAnswer(bench, 4);
}
void bmRecordAnswerSixChannels(benchmark::State& bench) {
    recordAnswer(bench, 6);
}

} // namespace

BENCHMARK(bmRecordAnswerFourChannels)->Unit(benchmark::kMicrosecond);
BENCHMARK(bmRecordAnswerSixChannels)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
