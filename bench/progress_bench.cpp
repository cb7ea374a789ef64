// Whether the progress strip slows a run: a material folder of many small
// files (5,000 by default) copied into 4 destinations, the plan carried out
// with the strip and without, in alternating order, each into a folder of
// its own; then a rerun over the unchanged result each way. With the strip,
// the material is measured beside the copy and every file reports its bytes;
// the shell is the recording one, whose update costs as little as a window's
// cheapest. The median of the clock and of the processor time per way is
// printed, and their ratio.
//
//   progress_bench [small files] [rounds]

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/sync_run.h"
#include "fs/paths.h"
#include "ui/shell.h"
#include "ui/shell_recording.h"

namespace {

double processorSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct Way {
  const char* name;
  bool progress;
  std::vector<double> first, firstCpu, rerun, rerunCpu;
};

// Carries out the plan into a program folder of its own that shares the
// material; returns the clock and processor seconds.
void timeRun(const Text& base, const RunPlan& plan, bool progress, double& wall, double& cpu) {
  resetRecording();
  openRunWindow(u"Varnelo");
  sync();
  double cpuBefore = processorSeconds();
  auto start = std::chrono::steady_clock::now();
  SyncOutcome outcome;
  CarryOut(base, plan, outcome, progress);
  wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  cpu = processorSeconds() - cpuBefore;
  if (!outcome.failures.empty()) {
    std::fprintf(stderr, "progress_bench: the run failed: %s\n", toUtf8(outcome.failures[0]).c_str());
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  int files = argc > 1 ? std::atoi(argv[1]) : 5000;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  Text root = tempDirectory() + u"varnelo-progress-bench-" + intToText(getpid()) + u"/";
  Text material = root + u"0-所有履职材料/A01/";
  for (int i = 0; i < files; ++i) {
    Text folder = material + u"sub" + intToText(i / 500) + u"/";
    if (i % 500 == 0) makePath(folder);
    std::FILE* file = openFile(folder + u"材料" + intToText(i) + u".txt", "wb");
    std::string bytes(1024 + i % 3000, 'm');
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  Way ways[] = {{"without the strip", false, {}, {}, {}, {}}, {"with the strip", true, {}, {}, {}, {}}};
  for (int round = 0; round < rounds; ++round) {
    for (int turn = 0; turn < 2; ++turn) {
      Way& way = ways[(round + turn) % 2];
      Text base = root + u"round" + intToText(round) + u"-" + intToText(way.progress) + u"/";
      makePath(base);
      // The destinations lie in this folder; the material is the shared one.
      Table table;
      table.cells.set(u"C3", u"A01");
      for (int column = 0; column < 4; ++column)
        table.cells.set(ColumnLetters(4 + column) + u"2", u"组" + intToText(column));
      for (int column = 0; column < 4; ++column) table.cells.set(ColumnLetters(4 + column) + u"3", u"X");
      table.maxColumn = 7;
      table.maxRow = 3;
      RunPlan plan = PlanRun(base, table);
      for (PlannedStep& step : plan.steps) step.material = material;
      for (Text& folder : plan.materials) folder = material;
      double wall, cpu;
      timeRun(base, plan, way.progress, wall, cpu);
      way.first.push_back(wall);
      way.firstCpu.push_back(cpu);
      timeRun(base, plan, way.progress, wall, cpu);
      way.rerun.push_back(wall);
      way.rerunCpu.push_back(cpu);
    }
  }
  std::printf("%d files of 1-4 KiB into 4 destinations, %d rounds, median seconds:\n", files, rounds);
  for (const Way& way : ways)
    std::printf("  %-18s first copy %.3f s (processor %.3f s), rerun %.3f s (processor %.3f s)\n",
                way.name, median(way.first), median(way.firstCpu), median(way.rerun),
                median(way.rerunCpu));
  std::printf("  with / without: first copy %.3f (processor %.3f), rerun %.3f (processor %.3f)\n",
              median(ways[1].first) / median(ways[0].first),
              median(ways[1].firstCpu) / median(ways[0].firstCpu),
              median(ways[1].rerun) / median(ways[0].rerun),
              median(ways[1].rerunCpu) / median(ways[0].rerunCpu));
  std::string remove = "rm -rf '" + toUtf8(root) + "'";
  return std::system(remove.c_str()) == 0 ? 0 : 1;
}
