// The panel's costs on the GUI thread: opening it (the skin read, its pictures decoded, every
// control built), an idle call when nothing changed, an idle that follows host automation, and a
// full redraw of the default skin; and the idle with the patch cables at rest and swinging.
#include "editor/TagTable.h"
#include "engine/Parameters.h"
#include "engine/SocketRegistry.h"
#include "tests/support/EditorHarness.h"

#include <benchmark/benchmark.h>

namespace treskpro {
namespace {

std::string benchFolder() {
    static const std::string folder =
        testing::panelFolder(std::filesystem::temp_directory_path(), "treskpro-editor-bench");
    return folder;
}

void editorOpen(benchmark::State& state) {
    testing::HeadlessEditor panel(benchFolder());
    for (auto _ : state) {
        panel.open();
        state.PauseTiming();
        panel.close();
        state.ResumeTiming();
    }
}
BENCHMARK(editorOpen)->Unit(benchmark::kMillisecond);

void editorIdleUnchanged(benchmark::State& state) {
    testing::HeadlessEditor panel(benchFolder());
    panel.open();
    panel.idle();
    for (auto _ : state)
        panel.idle();
}
BENCHMARK(editorIdleUnchanged)->Unit(benchmark::kMicrosecond);

void editorIdleAfterAutomation(benchmark::State& state) {
    testing::HeadlessEditor panel(benchFolder());
    panel.open();
    float value = 0.0f;
    for (auto _ : state) {
        value = value > 0.9f ? 0.0f : value + 0.05f;
        panel.plugin().setParameter(Parameter::FilterCutoff, value);
        panel.plugin().setParameter(Parameter::FilterResonance, 1.0f - value);
        panel.idle();
    }
}
BENCHMARK(editorIdleAfterAutomation)->Unit(benchmark::kMicrosecond);

// Every input fed (one cable per input is the most a patch can play: 21 of the 64 cables).
void connectEveryInput(testing::HeadlessEditor& panel) {
    int output = 0;
    for (int input = 0; input < Socket::count; ++input) {
        if (!panel.plugin().sockets().isInput(input))
            continue;
        while (!panel.plugin().sockets().isOutput(output))
            output = (output + 1) % Socket::count;
        panel.plugin().editorHost().connect(output, input);
        output = (output + 1) % Socket::count;
    }
    panel.editor().updateCables(true);
}

void editorIdleCablesAtRest(benchmark::State& state) {
    testing::HeadlessEditor panel(benchFolder());
    panel.open();
    connectEveryInput(panel);
    panel.idle();
    for (auto _ : state)
        panel.idle();
}
BENCHMARK(editorIdleCablesAtRest)->Unit(benchmark::kMicrosecond);

// Anti-aliased (with soft shadows when the argument is 1), the window shaken at every idle so
// the cables never rest.
void editorIdleCablesSwinging(benchmark::State& state) {
    testing::HeadlessEditor panel(benchFolder());
    panel.open();
    panel.editor().settings().antiAliasing = 1;
    panel.editor().settings().softShadows = int(state.range(0));
    connectEveryInput(panel);
    int shake = 0;
    for (auto _ : state) {
        shake = shake == 0 ? 40 : 0;
        panel.window().moveTo({shake, shake / 2});
        panel.idle();
    }
}
BENCHMARK(editorIdleCablesSwinging)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void editorFullRedraw(benchmark::State& state) {
    testing::HeadlessEditor panel(benchFolder());
    panel.open();
    for (auto _ : state)
        panel.editor().getFrame()->redraw();
}
BENCHMARK(editorFullRedraw)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace treskpro
