// The panel's costs on the GUI thread: opening it (the skin read, its pictures decoded, every
// control built), an idle call when nothing changed, an idle that follows host automation, and a
// full redraw of the default skin.
#include "editor/TagTable.h"
#include "engine/Parameters.h"
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

void editorFullRedraw(benchmark::State& state) {
    testing::HeadlessEditor panel(benchFolder());
    panel.open();
    for (auto _ : state)
        panel.editor().getFrame()->redraw();
}
BENCHMARK(editorFullRedraw)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace treskpro
