// Parsing a large PPD: a synthetic ~300 KB file with the statement mix of real
// driver PPDs (options with many choices, multi-line invocation values,
// comments, quoted values), and the settings loads that follow at start-up.
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

#include "ppd/job_settings.h"
#include "ppd/ppd_file.h"

namespace {

std::string largePPD() {
  std::string text =
      "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*Manufacturer: \"Bench <41>\"\n";
  for (int option = 0; text.size() < 300 * 1024; ++option) {
    std::string name = "Option" + std::to_string(option);
    text += "*% Option " + std::to_string(option) + "\n";
    text += "*OpenUI *" + name + "/Option number " + std::to_string(option) + ": PickOne\n";
    text += "*OrderDependency: 10 AnySetup *" + name + "\n";
    text += "*Default" + name + ": Choice0\n";
    for (int choice = 0; choice < 12; ++choice) {
      std::string c = "Choice" + std::to_string(choice);
      text += "*" + name + " " + c + "/Choice " + std::to_string(choice) + ": \"\n";
      text += "  <</cupsInteger" + std::to_string(choice) + " " + std::to_string(option) +
              ">> setpagedevice\n\"\n*End\n";
    }
    text += "*CloseUI: *" + name + "\n";
    text += "*ParamCustom" + name + " Value/Value: 1 real -5 5\n";
  }
  return text;
}

void BM_ParsePPD(benchmark::State& state) {
  const std::string text = largePPD();
  for (auto _ : state) {
    std::istringstream in(text);
    Quillfeather::PPDFile ppd(in);
    benchmark::DoNotOptimize(ppd.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParsePPD)->Unit(benchmark::kMillisecond);

void BM_LoadSettings(benchmark::State& state) {
  std::istringstream in(largePPD());
  const Quillfeather::PPDFile ppd(in);
  for (auto _ : state) {
    Quillfeather::JobSettings settings;
    settings.loadDefaults(ppd);
    settings.loadCustomRanges(ppd);
    benchmark::DoNotOptimize(settings.contains("Option0"));
  }
}
BENCHMARK(BM_LoadSettings)->Unit(benchmark::kMillisecond);

void BM_ParseOptions(benchmark::State& state) {
  std::string options;
  for (int i = 0; i < 100; ++i)
    options += "Option" + std::to_string(i) + "=Choice\\ " + std::to_string(i) + " ";
  for (auto _ : state) {
    Quillfeather::JobSettings settings;
    settings.parseOptions(options);
    benchmark::DoNotOptimize(settings.contains("Option1"));
  }
}
BENCHMARK(BM_ParseOptions)->Unit(benchmark::kMicrosecond);

}  // namespace
