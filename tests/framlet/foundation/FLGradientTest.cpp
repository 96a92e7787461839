#include "framlet/foundation/FLGradient.h"

#include "ImageTestSupport.h"
#include "support/LogCapture.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace {

constexpr int64_t kDegree = kFLGradientUnit;

std::vector<std::pair<int64_t, Kolor>> StopsOf(const FLGradient& gradient) {
  std::vector<std::pair<int64_t, Kolor>> stops;
  for (const FLColorStop& stop : gradient.stops()) stops.emplace_back(stop.position, stop.kolor);
  return stops;
}

QImage Draw(const FLGradient& gradient) {
  QImage canvas = Canvas(20, 20, Qt::red);
  QPainter painter(&canvas);
  QPainterPath path;
  path.addRect(0, 0, 20, 20);
  gradient.drawInBezier(painter, path, false, QPointF(), 0);
  return canvas;
}

bool Dark(QColor c) { return c.red() < 40 && c.green() < 40 && c.blue() < 40; }
bool Light(QColor c) { return c.red() > 215 && c.green() > 215 && c.blue() > 215; }

TEST(GradientTest, EndStopsStayAndBadIndexesAreRefused) {
  FLGradient gradient;
  gradient.insertStopAtIndex(1);
  const auto before = StopsOf(gradient);
  LogCapture log;
  gradient.setPosition(100, 0);
  gradient.setPosition(100, 2);
  gradient.removeStopAtIndex(0);
  gradient.removeStopAtIndex(2);
  gradient.insertStopAtIndex(0);
  gradient.insertStopAtIndex(3);
  gradient.setKolor(0x64123456, 3);
  EXPECT_EQ(StopsOf(gradient), before);
  EXPECT_EQ(gradient.kolorAtStopIndex(3), 0xFFFFFFFFu);
  EXPECT_EQ(gradient.positionOfStopIndex(7), 0);
  EXPECT_EQ(log.entries().filter(QStringLiteral("Bad color stop index")).size(), 9);

  gradient.removeStopAtIndex(1);
  EXPECT_EQ(gradient.stopCount(), 2u);
  gradient.removeStopAtIndex(1);  // the last of two is an end stop
  EXPECT_EQ(gradient.stopCount(), 2u);
  gradient.setStops({{0, 0x64000000}});
  EXPECT_EQ(gradient.stopCount(), 2u);
}

TEST(GradientTest, LinearAngleIsTurnedByNinetyDegrees) {
  struct Case { int64_t angle; QPoint dark; QPoint light; };
  const Case cases[] = {
      {0, {10, 1}, {10, 18}},                 // draws at 90: black at the smaller y
      {360 * kDegree, {10, 1}, {10, 18}},     // 450 - 360 = 90
      {-270 * kDegree, {18, 10}, {1, 10}},    // -180 + 360 = 180: black at the larger x
      {180 * kDegree, {10, 18}, {10, 1}},     // 270
      {-90 * kDegree, {1, 10}, {18, 10}},     // 0
  };
  for (const Case& c : cases) {
    FLGradient gradient;
    gradient.setLinearAngle(c.angle);
    const QImage drawn = Draw(gradient);
    EXPECT_TRUE(Dark(drawn.pixelColor(c.dark))) << c.angle / kDegree;
    EXPECT_TRUE(Light(drawn.pixelColor(c.light))) << c.angle / kDegree;
  }
}

}  // namespace
