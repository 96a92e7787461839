#include "platform/Clocks.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <utility>

namespace {

struct ClockSources {
  std::function<double()> steady;
  std::function<double()> wall;
};

ClockSources& Sources() {
  static ClockSources sources;
  return sources;
}

}  // namespace

double SteadyClockSeconds() {
  if (Sources().steady) return Sources().steady();
  static const QElapsedTimer start = [] {
    QElapsedTimer timer;
    timer.start();
    return timer;
  }();
  return double(start.nsecsElapsed()) / 1e9;
}

double WallClockSeconds() {
  if (Sources().wall) return Sources().wall();
  return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

void SetClockSources(std::function<double()> steady, std::function<double()> wall) {
  Sources().steady = std::move(steady);
  Sources().wall = std::move(wall);
}
