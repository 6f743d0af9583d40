// ostragen: makes the sample chart of the edition's own thread line.
//
//   ostragen --charts DIR --map FILE --out FILE [--count N] [--seed S]
//
// There is no public chart of the OSTRA line, so the program ships a
// generated one: N colours (300 unless told otherwise) that represent the
// other mapped charts, picked by k-medoids in CIELAB with a fixed seed,
// numbered from 1001 by hue family and then from light to dark, each named
// after the nearest real thread. The same inputs always give the same file.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "match/colour.h"
#include "match/thread_chart.h"

namespace sv {
namespace {

constexpr const char kUsage[] =
    "usage: ostragen --charts DIR --map FILE --out FILE [--count N] [--seed S]\n";
constexpr int kDefaultCount = 300;
constexpr uint64_t kDefaultSeed = 1;
constexpr int kFirstNumber = 1001;
constexpr int kMaxRounds = 200;

// One distinct colour of the charts, weighted by how many threads have it.
struct Point {
  int red = 0, green = 0, blue = 0;
  Lab lab;
  double weight = 0;
  std::vector<std::string> names;  // usable names of its threads, in map order
};

double Distance(const Point& p, const Point& q) { return Difference(p.lab, q.lab); }

// Uniform in [0, 1) from the generator's raw output, which the standard fixes
// bit for bit; the library's distributions are not.
double Uniform(std::mt19937_64& rng) { return static_cast<double>(rng() >> 11) * 0x1.0p-53; }

bool UsableName(const std::string& name) { return !name.empty() && name != "?"; }

// Index drawn with probability proportional to weights[i]; -1 when all are 0.
int Draw(const std::vector<double>& weights, std::mt19937_64& rng) {
  double total = 0;
  for (double w : weights) total += w;
  if (total <= 0) return -1;
  double r = Uniform(rng) * total;
  int last = -1;
  for (size_t i = 0; i < weights.size(); ++i) {
    if (weights[i] <= 0) continue;
    last = static_cast<int>(i);
    if (r < weights[i]) return last;
    r -= weights[i];
  }
  return last;
}

// k-means++ seeding: each new medoid drawn with weight times squared
// distance to the nearest medoid so far.
std::vector<int> SeedMedoids(const std::vector<Point>& points, int k, std::mt19937_64& rng) {
  std::vector<int> medoids;
  std::vector<double> w(points.size());
  for (size_t i = 0; i < points.size(); ++i) w[i] = points[i].weight;
  medoids.push_back(Draw(w, rng));
  std::vector<double> nearest(points.size(), std::numeric_limits<double>::infinity());
  while (static_cast<int>(medoids.size()) < k) {
    const Point& last = points[static_cast<size_t>(medoids.back())];
    for (size_t i = 0; i < points.size(); ++i) {
      nearest[i] = std::min(nearest[i], Distance(points[i], last));
      w[i] = points[i].weight * nearest[i] * nearest[i];
    }
    int next = Draw(w, rng);
    if (next < 0) break;  // fewer distinct colours than asked for
    medoids.push_back(next);
  }
  return medoids;
}

// Alternates assignment to the nearest medoid and, per cluster, the member
// with the least weighted distance to the others, until nothing moves.
int RefineMedoids(const std::vector<Point>& points, std::vector<int>* medoids) {
  const size_t k = medoids->size();
  int round = 0;
  for (; round < kMaxRounds; ++round) {
    std::vector<std::vector<int>> clusters(k);
    for (size_t i = 0; i < points.size(); ++i) {
      size_t best = 0;
      double best_d = std::numeric_limits<double>::infinity();
      for (size_t m = 0; m < k; ++m) {
        double d = Distance(points[i], points[static_cast<size_t>((*medoids)[m])]);
        if (d < best_d) {
          best_d = d;
          best = m;
        }
      }
      clusters[best].push_back(static_cast<int>(i));
    }
    bool moved = false;
    for (size_t m = 0; m < k; ++m) {
      int best = (*medoids)[m];
      double best_cost = std::numeric_limits<double>::infinity();
      for (int candidate : clusters[m]) {
        double cost = 0;
        for (int other : clusters[m]) {
          cost += points[static_cast<size_t>(other)].weight *
                  Distance(points[static_cast<size_t>(candidate)], points[static_cast<size_t>(other)]);
          if (cost >= best_cost) break;
        }
        if (cost < best_cost) {
          best_cost = cost;
          best = candidate;
        }
      }
      if (best != (*medoids)[m]) {
        (*medoids)[m] = best;
        moved = true;
      }
    }
    if (!moved) break;
  }
  return round + 1;
}

// Hue families in the order a thread card runs: neutrals, then yellow round
// through orange, red, pink, purple, blue and teal to green.
int HueFamily(const Lab& lab) {
  const double chroma = std::hypot(lab.a, lab.b);
  if (chroma < 8.0) return 0;
  double hue = std::atan2(lab.b, lab.a) * 180.0 / 3.14159265358979323846;
  if (hue < 0) hue += 360.0;
  if (hue >= 75 && hue < 105) return 1;   // yellow
  if (hue >= 50 && hue < 75) return 2;    // orange, browns
  if (hue >= 20 && hue < 50) return 3;    // red
  if (hue >= 340 || hue < 20) return 4;   // pink
  if (hue >= 290) return 5;               // purple
  if (hue >= 230) return 6;               // blue
  if (hue >= 170) return 7;               // teal
  return 8;                               // green
}

struct Options {
  std::string charts;
  std::string map;
  std::string out;
  int count = kDefaultCount;
  uint64_t seed = kDefaultSeed;
};

bool ParseNumberArgument(const std::string& text, long long low, long long high, long long* v) {
  if (text.empty()) return false;
  long long n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
    if (n > high) return false;
  }
  if (n < low) return false;
  *v = n;
  return true;
}

bool ParseArguments(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (i + 1 >= argc) return false;
    std::string value = argv[++i];
    long long n = 0;
    if (arg == "--charts") {
      o->charts = value;
    } else if (arg == "--map") {
      o->map = value;
    } else if (arg == "--out") {
      o->out = value;
    } else if (arg == "--count" && ParseNumberArgument(value, 1, 9000, &n)) {
      o->count = static_cast<int>(n);
    } else if (arg == "--seed" && ParseNumberArgument(value, 0, 1000000000000LL, &n)) {
      o->seed = static_cast<uint64_t>(n);
    } else {
      return false;
    }
  }
  return !o->charts.empty() && !o->map.empty() && !o->out.empty();
}

int Run(int argc, char** argv) {
  Options o;
  if (!ParseArguments(argc, argv, &o)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::vector<ChartMapping> mappings;
  std::string error;
  if (!ReadChartMap(o.map, &mappings, &error)) {
    std::fprintf(stderr, "ostragen: %s\n", error.c_str());
    return 1;
  }

  std::vector<Point> points;
  std::map<std::tuple<int, int, int>, size_t> index;
  size_t threads = 0;
  for (const ChartMapping& m : mappings) {
    if (m.company == kOwnLineEntry) continue;  // never learn from our own output
    ThreadChart chart;
    if (!ReadThreadChart(o.charts + "/" + m.chart, &chart, &error)) {
      std::fprintf(stderr, "ostragen: %s\n", error.c_str());
      return 1;
    }
    for (const ChartColour& c : chart.colours) {
      ++threads;
      auto [it, added] = index.emplace(std::make_tuple(c.red, c.green, c.blue), points.size());
      if (added) {
        Point p;
        p.red = c.red;
        p.green = c.green;
        p.blue = c.blue;
        p.lab = ToLab(c.red, c.green, c.blue);
        points.push_back(p);
      }
      Point& p = points[it->second];
      p.weight += 1;
      if (UsableName(c.name) && std::find(p.names.begin(), p.names.end(), c.name) == p.names.end()) {
        p.names.push_back(c.name);
      }
    }
  }
  if (points.empty()) {
    std::fprintf(stderr, "ostragen: the mapped charts hold no colours\n");
    return 1;
  }

  std::mt19937_64 rng(o.seed);
  std::vector<int> medoids = SeedMedoids(points, o.count, rng);
  const int rounds = RefineMedoids(points, &medoids);

  struct Thread {
    const Point* point;
    int family;
    std::string name;
  };
  std::vector<Thread> line;
  for (int m : medoids) {
    const Point& p = points[static_cast<size_t>(m)];
    line.push_back({&p, HueFamily(p.lab), {}});
  }
  std::sort(line.begin(), line.end(), [](const Thread& x, const Thread& y) {
    const Point& p = *x.point;
    const Point& q = *y.point;
    return std::make_tuple(x.family, -p.lab.L, p.red, p.green, p.blue) <
           std::make_tuple(y.family, -q.lab.L, q.red, q.green, q.blue);
  });
  // A medoid is a real thread colour; of the names its threads carry, the
  // first one the line does not use yet, so near-identical colours do not all
  // end up "Black". A colour with no usable name takes the nearest named one.
  std::vector<std::string> used;
  for (Thread& t : line) {
    const Point* named = t.point;
    if (named->names.empty()) {
      double best = std::numeric_limits<double>::infinity();
      for (const Point& q : points) {
        double d = Distance(*t.point, q);
        if (!q.names.empty() && d < best) {
          best = d;
          named = &q;
        }
      }
    }
    if (named->names.empty()) continue;
    t.name = named->names.front();
    for (const std::string& n : named->names) {
      if (std::find(used.begin(), used.end(), n) == used.end()) {
        t.name = n;
        break;
      }
    }
    used.push_back(t.name);
  }

  FILE* out = std::fopen(o.out.c_str(), "wb");
  if (out == nullptr) {
    std::perror(("ostragen: " + o.out).c_str());
    return 1;
  }
  std::fprintf(out,
               "GIMP Palette\n"
               "Name: OSTRA Polyester\n"
               "Columns: 4\n"
               "# Generated sample data, not a manufacturer's chart: tools/ostragen chose\n"
               "# these %zu colours (k-medoids in CIELAB, seed %llu) to represent the other\n"
               "# shipped charts, and named each after the nearest real thread.\n"
               "# A manufacturer replaces this file with its own chart.\n"
               "# RGB Value\t\t                    Color Name Number\n",
               line.size(), static_cast<unsigned long long>(o.seed));
  int number = kFirstNumber;
  for (const Thread& t : line) {
    std::fprintf(out, "%3d\t%3d\t%3d\t%30s %6d\n", t.point->red, t.point->green, t.point->blue,
                 t.name.c_str(), number++);
  }
  if (std::fclose(out) != 0) {
    std::perror(("ostragen: " + o.out).c_str());
    return 1;
  }
  std::fprintf(stderr, "ostragen: %zu colours from %zu threads (%zu distinct colours), %d rounds\n",
               line.size(), threads, points.size(), rounds);
  return 0;
}

}  // namespace
}  // namespace sv

int main(int argc, char** argv) { return sv::Run(argc, argv); }
