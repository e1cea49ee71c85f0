// Orientation lists: Euler tables with weights or equispaced ODF values, and EBSD maps.
#include "texture/orientation_lists.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/text_fields.h"
#include "core/text_lines.h"
#include "texture/odf_read_support.h"

namespace polydec::texture {

using namespace read_support;

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool IsWeightWord(std::string_view word) {
  const std::string w = Lower(word);
  for (const char* name : {"weight", "weights", "w", "wt", "volume", "fraction"})
    if (w == name) return true;
  return false;
}

// Where the columns of an orientation table are.
struct TableHeader {
  bool found = false;
  std::string problem;
  std::array<int, 3> angle{0, 1, 2};  // words of phi1, Phi, phi2
  int weight = -1;                    // word of the weight or value column, -1: none
  bool weights = false;               // that column is named as weights, not ODF values
  AngleUnit unit = AngleUnit::kAuto;  // as the header states it
};

TableHeader ReadTableHeader(std::string_view line) {
  TableHeader h;
  const std::vector<std::string> words = HeaderWords(line);
  std::array<std::vector<int>, 3> at;
  std::vector<int> values, weights;
  for (std::size_t k = 0; k < words.size(); ++k) {
    const MtexColumn c = ClassifyHeaderWord(words[k]);
    if (c == MtexColumn::kOther) {
      if (IsWeightWord(words[k])) weights.push_back(static_cast<int>(k));
      continue;
    }
    if (c == MtexColumn::kValue)
      values.push_back(static_cast<int>(k));
    else
      at[static_cast<std::size_t>(c)].push_back(static_cast<int>(k));
  }
  if (at[0].empty() || at[1].empty() || at[2].empty()) return h;
  h.found = true;
  for (std::size_t c = 0; c < 3; ++c) {
    if (at[c].size() > 1) {
      h.problem = "the header names " + std::string(c == 0 ? "phi1" : c == 1 ? "Phi" : "phi2") +
                  " " + std::to_string(at[c].size()) + " times: the columns cannot be told apart";
      return h;
    }
    h.angle[c] = at[c][0];
  }
  if (values.size() + weights.size() > 1) {
    h.problem = "the header names more than one weight or value column";
    return h;
  }
  if (!weights.empty()) {
    h.weight = weights[0];
    h.weights = true;
  } else if (!values.empty()) {
    h.weight = values[0];
  }
  const std::string lower = Lower(line);
  if (lower.find("rad") != std::string::npos)
    h.unit = AngleUnit::kRadians;
  else if (lower.find("deg") != std::string::npos || line.find("°") != std::string_view::npos)
    h.unit = AngleUnit::kDegrees;
  return h;
}

// The grains of a read, grown as points come.
struct GrainList {
  std::vector<Real> phi1, phi, phi2, weight;  // radians
  void Add(Real a1, Real a, Real a2, Real w) {
    phi1.push_back(a1);
    phi.push_back(a);
    phi2.push_back(a2);
    weight.push_back(w);
  }
  std::size_t Size() const { return phi1.size(); }
  // Into the context, phi1 and phi2 wrapped into 0..2pi.
  void Store(OrientationsRec& ctx) const {
    core::GrainOrientations g;
    const std::size_t n = Size();
    for (core::DataVector* v : {&g.phi1, &g.phi, &g.phi2, &g.weight}) v->resize(n);
    const auto wrap = [](Real a) {
      Real r = std::fmod(a, 2 * kPi);
      if (r < 0) r += 2 * kPi;
      return r;
    };
    for (std::size_t k = 0; k < n; ++k) {
      g.phi1[k] = wrap(phi1[k]);
      g.phi[k] = phi[k];
      g.phi2[k] = wrap(phi2[k]);
      g.weight[k] = weight[k];
    }
    ctx.GOrient = std::move(g);
  }
};

// How far the points' Phi lie from an equispaced grid: the largest distance between their
// distribution of cos Phi and the uniform one an equal-volume grid has (Kolmogorov's statistic).
// A regular grid of Euler angles puts as many points at Phi = 2.5 as at 87.5 degrees and lies
// about 0.25 away; an equispaced grid within half a row's share.
Real EquispacedDistance(std::vector<Real> phiDegrees) {
  std::sort(phiDegrees.begin(), phiDegrees.end());
  const Real top = phiDegrees.back() <= 90 + 1e-6L ? 90 : 180;
  const Real norm = 1 - std::cos(top * kPi / 180);
  const Real n = static_cast<Real>(phiDegrees.size());
  Real d = 0;
  std::size_t k = 0;
  while (k < phiDegrees.size()) {
    std::size_t e = k;
    while (e < phiDegrees.size() && phiDegrees[e] == phiDegrees[k]) ++e;
    const Real f = (1 - std::cos(phiDegrees[k] * kPi / 180)) / norm;
    d = std::max({d, std::fabs(static_cast<Real>(k) / n - f), std::fabs(static_cast<Real>(e) / n - f)});
    k = e;
  }
  return d;
}

constexpr Real kEquispacedLimit = 0.12L;
constexpr std::size_t kEquispacedMinimum = 50;  // fewer points tell nothing about a grid

}  // namespace

bool LooksLikeOrientationTable(const std::string& fileName) {
  if (core::InputFileProblem(fileName)) return false;
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return false;
  LineSource src(*in.rdbuf());
  std::string line;
  while (src.Number() < 10) {
    const LineRead t = src.Next(line);
    if (t != LineRead::kLine) return false;
    const TableHeader h = ReadTableHeader(line);
    // The angles alone, or with a column named as weights; a further column of another name
    // ("phi1 Phi phi2 v") is the value column of an MTEX table.
    if (h.found)
      return h.problem.empty() && (h.weights || (h.weight < 0 && HeaderWords(line).size() == 3));
  }
  return false;
}

ODFReadResult ReadOrientationTable(const std::string& fileName, OrientationsRec& ctx,
                                   const OrientationListOptions& options,
                                   OrientationListInfo* info) {
  Outcome out(fileName, ctx);
  std::ifstream in;
  if (auto failed = OpenInput(fileName, out, in)) return *failed;
  LineSource src(*in.rdbuf());
  std::string line;
  TableHeader header;
  while (!header.found && src.Number() < 10) {
    const LineRead t = src.Next(line);
    if (t == LineRead::kEnd) break;
    if (t == LineRead::kTooLong) return out.Fail(1, src.Number(), TooLongMessage());
    header = ReadTableHeader(line);
  }
  if (!header.found)
    return out.Fail(1, 0, "no header line naming phi1, Phi and phi2 within the first 10 lines");
  const int headerLine = src.Number();
  if (!header.problem.empty()) return out.Fail(1, headerLine, header.problem);
  const int words = std::max(*std::max_element(header.angle.begin(), header.angle.end()),
                             header.weight) + 1;

  GrainList list;
  std::vector<int> lineOf;
  Real largest = 0;
  for (;;) {
    const LineRead t = src.Next(line);
    if (t == LineRead::kEnd) break;
    if (t == LineRead::kTooLong) return out.Fail(1, src.Number(), TooLongMessage());
    if (IsBlank(line)) continue;
    const std::size_t first = line.find_first_not_of(" \t");
    if (line[first] == '%' || line[first] == '#') continue;
    std::vector<std::string_view> w(At(words));
    const int found = core::FirstWords(line, w.data(), words);
    if (found < words)
      return out.Fail(1, src.Number(),
                      "the line holds " + std::to_string(found) + " words where the header puts " +
                          std::to_string(words) + " columns");
    Real v[4] = {0, 0, 0, 1};
    for (int c = 0; c < 4; ++c) {
      const int k = c < 3 ? header.angle[At(c)] : header.weight;
      if (k < 0) continue;
      const ParsedNumber p = core::ParseNumber(w[At(k)]);
      if (!p.ok() || !std::isfinite(p.value))
        return out.Fail(p.ok() ? 1 : p.errorPos, src.Number(),
                        "\"" + Shown(w[At(k)]) + "\" (word " + std::to_string(k + 1) +
                            ") is not a number");
      v[c] = p.value;
    }
    if (v[3] < 0 || !(v[3] <= kLargestDensity))
      return out.Fail(1, src.Number(),
                      "the " + std::string(header.weights ? "weight " : "value ") + Number(v[3]) +
                          (v[3] < 0 ? " is negative" : " lies beyond " + Number(kLargestDensity)));
    if (list.Size() >= options.maxPoints)
      return out.Fail(1, src.Number(),
                      "more than " + std::to_string(options.maxPoints) + " orientations in one file");
    largest = std::max({largest, std::fabs(v[0]), std::fabs(v[1]), std::fabs(v[2])});
    list.Add(v[0], v[1], v[2], v[3]);
    lineOf.push_back(src.Number());
  }
  if (list.Size() == 0) return out.Fail(1, headerLine + 1, "no orientations after the header line");

  AngleUnit unit = options.unit != AngleUnit::kAuto ? options.unit : header.unit;
  if (unit == AngleUnit::kAuto)
    unit = largest <= 2 * kPi + 1e-6L ? AngleUnit::kRadians : AngleUnit::kDegrees;
  const Real toRadians = unit == AngleUnit::kRadians ? 1 : kPi / 180;
  const Real phiTop = unit == AngleUnit::kRadians ? kPi : 180;
  Real total = 0;
  for (std::size_t k = 0; k < list.Size(); ++k) {
    if (!(list.phi[k] >= -1e-9L && list.phi[k] <= phiTop + 1e-9L))
      return out.Fail(1, lineOf[k],
                      "Phi = " + Number(list.phi[k]) + " lies outside 0.." +
                          (unit == AngleUnit::kRadians ? std::string("pi (radians)")
                                                       : std::string("180 (degrees)")));
    list.phi[k] = std::clamp(list.phi[k], Real{0}, phiTop);
    total += list.weight[k];
  }
  if (!(total > 0)) return out.Fail(1, 0, kZeroODFMessage);

  // ODF values are weights only where every point stands for the same volume of orientation
  // space; on a regular grid of Euler angles a point near Phi = 0 stands for far less.
  const bool odfValues = header.weight >= 0 && !header.weights;
  if (odfValues && !options.valuesAreWeights && list.Size() >= kEquispacedMinimum) {
    std::vector<Real> phiDegrees(list.Size());
    for (std::size_t k = 0; k < list.Size(); ++k) phiDegrees[k] = list.phi[k] * toRadians * 180 / kPi;
    const Real d = EquispacedDistance(phiDegrees);
    if (d > kEquispacedLimit)
      return out.Fail(1, headerLine,
                      "the table gives ODF values, but its points are not equispaced in "
                      "orientation space (their cos Phi lie " +
                          core::FormatFixed(d, 2, 2) +
                          " from an even spread): the values are weights only of cells of equal "
                          "volume. Read a table on the 5-degree grid as an ODF, or state that the "
                          "values are weights");
  }
  for (std::size_t k = 0; k < list.Size(); ++k) {
    list.phi1[k] *= toRadians;
    list.phi[k] *= toRadians;
    list.phi2[k] *= toRadians;
  }
  list.Store(ctx);
  if (info) info->valuesWereWeights = odfValues;
  out.result().valuesRead = static_cast<long long>(list.Size());
  return out.Succeed();
}

namespace {

// The points of a map: which phase, which quality, kept or not.
struct MapPoint {
  Real phi1 = 0, phi = 0, phi2 = 0;  // radians
  int phase = 0;
  Real quality = 0;
  std::optional<Real> mad;
  int line = 0;
};

// Area of a map's cell: rows of a hexagonal grid lie sqrt(3)/2 steps apart.
Real CellArea(std::optional<Real> x, std::optional<Real> y, bool hexagonal) {
  const Real dx = x && *x > 0 ? *x : 1;
  const Real dy = y && *y > 0 ? *y : dx;
  const Real area = hexagonal ? dx * dx * std::sqrt(Real{3}) / 2 : dx * dy;
  // Every cell of one map has this area: only its being a sound number matters.
  return std::isfinite(area) && area > 0 && area < kLargestDensity ? area : 1;
}

// What a map's header tells: the phases' names by number, the steps and the kind of grid.
struct MapHeader {
  std::map<int, std::string> phaseNames;
  std::optional<Real> xStep, yStep;
  bool hexagonal = false;
};

// Chooses the phase and the points of a map; fails naming the phases when the choice is open.
std::optional<ODFReadResult> KeepPoints(Outcome& out, const std::vector<MapPoint>& points,
                                        const MapHeader& header,
                                        const OrientationListOptions& options,
                                        OrientationsRec& ctx, OrientationListInfo* info,
                                        const char* qualityName) {
  const std::map<int, std::string>& phaseNames = header.phaseNames;
  const Real weight = CellArea(header.xStep, header.yStep, header.hexagonal);
  if (info) info->hexagonalGrid = header.hexagonal;
  std::set<int> phases;
  for (const MapPoint& p : points) phases.insert(p.phase);
  if (info) info->phases.assign(phases.begin(), phases.end());
  const auto named = [&](int id) {
    const auto it = phaseNames.find(id);
    return std::to_string(id) + (it != phaseNames.end() && !it->second.empty()
                                     ? " (" + it->second + ")"
                                     : std::string());
  };
  std::string list;
  for (int id : phases) list += (list.empty() ? "" : ", ") + named(id);
  if (phases.empty()) return out.Fail(1, 0, "the map holds no indexed point");
  int phase = options.phase;
  if (phase == 0) {
    if (phases.size() > 1)
      return out.Fail(1, 0, "the map holds the phases " + list + ": choose one");
    phase = *phases.begin();
  } else if (!phases.count(phase)) {
    return out.Fail(1, 0,
                    "the map has no indexed point of phase " + std::to_string(phase) +
                        " (it holds " + list + ")");
  }
  GrainList kept;
  long long skipped = 0;
  for (const MapPoint& p : points) {
    const bool low = options.minQuality && p.quality < *options.minQuality;
    const bool deviating = options.maxMad && p.mad && *p.mad > *options.maxMad;
    if (p.phase != phase || low || deviating) {
      ++skipped;
      continue;
    }
    kept.Add(p.phi1, p.phi, p.phi2, weight);
  }
  if (kept.Size() == 0)
    return out.Fail(1, 0,
                    "no point of phase " + named(phase) + " passes the " + qualityName +
                        " threshold");
  kept.Store(ctx);
  if (info) info->skipped += skipped;
  out.result().valuesRead = static_cast<long long>(kept.Size());
  return std::nullopt;
}

// The value after a header key ("# XSTEP: 1.5", "XStep\t1.5"), if it is a number.
std::optional<Real> NumberAfter(std::string_view line, std::size_t at) {
  if (at >= line.size()) return std::nullopt;  // a key without a value
  const std::string word = core::GetWord(line.substr(at), 1);
  const ParsedNumber p = core::ParseNumber(word);
  if (!p.ok() || !std::isfinite(p.value)) return std::nullopt;
  return p.value;
}

std::string Trimmed(std::string_view s) {
  const std::size_t b = s.find_first_not_of(" \t:\r");
  if (b == std::string_view::npos) return {};
  const std::size_t e = s.find_last_not_of(" \t\r");
  return std::string(s.substr(b, e - b + 1));
}

// The numbers of a map's point line into v, or the failure naming the word that is none; a
// map beyond the bound of points is refused at its first point too many.
std::optional<ODFReadResult> ReadPoint(Outcome& out, int line, const std::string_view* words,
                                       int count, Real* v, std::size_t pointsBefore,
                                       const OrientationListOptions& options) {
  for (int k = 0; k < count; ++k) {
    const ParsedNumber p = core::ParseNumber(words[k]);
    if (!p.ok() || !std::isfinite(p.value))
      return out.Fail(p.ok() ? 1 : p.errorPos, line,
                      "\"" + Shown(words[k]) + "\" (word " + std::to_string(k + 1) +
                          ") is not a number");
    v[k] = p.value;
  }
  if (pointsBefore >= options.maxPoints)
    return out.Fail(1, line,
                    "more than " + std::to_string(options.maxPoints) + " points in one map");
  return std::nullopt;
}

}  // namespace

ODFReadResult ReadAngMap(const std::string& fileName, OrientationsRec& ctx,
                         const OrientationListOptions& options, OrientationListInfo* info) {
  Outcome out(fileName, ctx);
  std::ifstream in;
  if (auto failed = OpenInput(fileName, out, in)) return *failed;
  LineSource src(*in.rdbuf());
  std::string line;
  MapHeader header;
  int currentPhase = -1;
  std::vector<MapPoint> points;
  bool headerSeen = false;
  for (;;) {
    const LineRead t = src.Next(line);
    if (t == LineRead::kEnd) break;
    if (t == LineRead::kTooLong) return out.Fail(1, src.Number(), TooLongMessage());
    if (IsBlank(line)) continue;
    const std::size_t first = line.find_first_not_of(" \t");
    if (line[first] == '#') {
      headerSeen = true;
      const std::string body = Trimmed(std::string_view(line).substr(first + 1));
      const std::string key = Lower(core::GetWord(body, 1));
      if (key == "phase") {
        const ParsedNumber p = core::ParseNumber(core::GetWord(body, 2));
        currentPhase = p.ok() && p.value >= 0 && p.value < 1000 ? static_cast<int>(p.value) : -1;
        if (currentPhase >= 0) header.phaseNames[currentPhase];
      } else if (key == "materialname" && currentPhase >= 0) {
        header.phaseNames[currentPhase] =
            Shown(Trimmed(std::string_view(body).substr(std::min<std::size_t>(12, body.size()))));
      } else if (key == "xstep:" || key == "xstep") {
        header.xStep = NumberAfter(body, body.find_first_of(" \t:"));
      } else if (key == "ystep:" || key == "ystep") {
        header.yStep = NumberAfter(body, body.find_first_of(" \t:"));
      } else if (key == "grid:" || key == "grid") {
        header.hexagonal = Lower(body).find("hex") != std::string::npos;
      }
      continue;
    }
    if (!headerSeen)
      return out.Fail(1, src.Number(), "an .ang file begins with its '#' header lines");
    std::array<std::string_view, 8> w;
    const int found = core::FirstWords(line, w.data(), 8);
    if (found < 7)
      return out.Fail(1, src.Number(),
                      "the line holds " + std::to_string(found) +
                          " numbers, fewer than phi1 Phi phi2 x y IQ CI");
    Real v[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    if (auto failed = ReadPoint(out, src.Number(), w.data(), found, v, points.size(), options))
      return *failed;
    // Points the software could not index carry a confidence index of -1, or the angles 4pi.
    const bool indexed = v[6] >= 0 && v[0] <= 2 * kPi + 1e-3L && v[2] <= 2 * kPi + 1e-3L &&
                         v[0] >= -1e-3L && v[2] >= -1e-3L;
    if (!indexed) {
      if (info) ++info->skipped;
      continue;
    }
    if (!(v[1] >= -1e-6L && v[1] <= kPi + 1e-6L))
      return out.Fail(1, src.Number(),
                      "Phi = " + Number(v[1]) + " lies outside 0..pi (an .ang file holds radians)");
    MapPoint p;
    p.phi1 = v[0];
    p.phi = std::clamp(v[1], Real{0}, kPi);
    p.phi2 = v[2];
    p.quality = v[6];
    p.phase = found >= 8 && v[7] >= 0 && v[7] < 1000 ? static_cast<int>(v[7]) : 0;
    p.line = src.Number();
    points.push_back(p);
  }
  if (!headerSeen) return out.Fail(1, 0, "the file has no '#' header lines of an .ang map");
  // Single-phase files often write phase 0 in the points and "# Phase 1" in the header.
  if (header.phaseNames.size() == 1) {
    bool allZero = !points.empty();
    for (const MapPoint& p : points) allZero = allZero && p.phase == 0;
    if (allZero) header.phaseNames[0] = header.phaseNames.begin()->second;
  }
  if (auto failed = KeepPoints(out, points, header, options, ctx, info, "confidence-index"))
    return *failed;
  return out.Succeed();
}

ODFReadResult ReadCtfMap(const std::string& fileName, OrientationsRec& ctx,
                         const OrientationListOptions& options, OrientationListInfo* info) {
  Outcome out(fileName, ctx);
  std::ifstream in;
  if (auto failed = OpenInput(fileName, out, in)) return *failed;
  LineSource src(*in.rdbuf());
  std::string line;
  MapHeader header;
  int phasesToRead = 0, phaseLine = 0;
  // Column of each quantity in the point lines, from the column line.
  int cPhase = -1, cE1 = -1, cE2 = -1, cE3 = -1, cMad = -1, cBc = -1, columns = 0;
  bool inPoints = false;
  std::vector<MapPoint> points;
  for (;;) {
    const LineRead t = src.Next(line);
    if (t == LineRead::kEnd) break;
    if (t == LineRead::kTooLong) return out.Fail(1, src.Number(), TooLongMessage());
    if (IsBlank(line)) continue;
    if (!inPoints) {
      if (src.Number() == 1 && Lower(line).find("channel text file") == std::string::npos)
        return out.Fail(1, 1, "a .ctf file begins with the line \"Channel Text File\"");
      if (phasesToRead > 0) {
        // "a;b;c<TAB>alpha;beta;gamma<TAB>name<TAB>..." per phase, numbered from 1.
        ++phaseLine;
        header.phaseNames[phaseLine] = Shown(Trimmed(core::GetTabField(line, 3)));
        --phasesToRead;
        continue;
      }
      const std::string key = Lower(core::GetWord(line, 1));
      if (key == "xstep") {
        header.xStep = NumberAfter(line, 5);
      } else if (key == "ystep") {
        header.yStep = NumberAfter(line, 5);
      } else if (key == "jobmode") {
        header.hexagonal = Lower(line).find("hex") != std::string::npos;
      } else if (key == "phases") {
        const std::optional<Real> n = NumberAfter(line, 6);
        if (!n || *n < 0 || *n > 1000)
          return out.Fail(1, src.Number(), "the number of phases is not a count");
        phasesToRead = static_cast<int>(*n);
      } else if (key == "phase" && Lower(core::GetWord(line, 2)) == "x") {
        // The column line.
        std::vector<std::string> names;
        for (int k = 1;; ++k) {
          const std::string n = core::GetWord(line, k);
          if (n.empty()) break;
          names.push_back(Lower(n));
        }
        columns = static_cast<int>(names.size());
        for (int k = 0; k < columns; ++k) {
          const std::string& n = names[At(k)];
          if (n == "phase") cPhase = k;
          if (n == "euler1") cE1 = k;
          if (n == "euler2") cE2 = k;
          if (n == "euler3") cE3 = k;
          if (n == "mad") cMad = k;
          if (n == "bc") cBc = k;
        }
        if (cE1 < 0 || cE2 < 0 || cE3 < 0)
          return out.Fail(1, src.Number(), "the column line names no Euler1, Euler2 and Euler3");
        inPoints = true;
      }
      continue;
    }
    std::vector<std::string_view> w(At(columns));
    const int found = core::FirstWords(line, w.data(), columns);
    const int needed = std::max({cPhase, cE1, cE2, cE3, cMad, cBc}) + 1;
    if (found < needed)
      return out.Fail(1, src.Number(),
                      "the line holds " + std::to_string(found) + " numbers where the column line "
                      "names " + std::to_string(needed));
    std::vector<Real> v(At(found));
    if (auto failed =
            ReadPoint(out, src.Number(), w.data(), found, v.data(), points.size(), options))
      return *failed;
    const Real phase = cPhase >= 0 ? v[At(cPhase)] : 1;
    // Phase 0 marks a point the software could not index.
    if (!(phase >= 1 && phase < 1000)) {
      if (info) ++info->skipped;
      continue;
    }
    const Real e2 = v[At(cE2)];
    if (!(e2 >= -1e-6L && e2 <= 180 + 1e-6L))
      return out.Fail(1, src.Number(),
                      "Euler2 = " + Number(e2) + " lies outside 0..180 (a .ctf file holds degrees)");
    MapPoint p;
    p.phi1 = v[At(cE1)] * kPi / 180;
    p.phi = std::clamp(e2, Real{0}, Real{180}) * kPi / 180;
    p.phi2 = v[At(cE3)] * kPi / 180;
    p.phase = static_cast<int>(phase);
    p.quality = cBc >= 0 ? v[At(cBc)] : 0;
    if (cMad >= 0) p.mad = v[At(cMad)];
    p.line = src.Number();
    points.push_back(p);
  }
  if (!inPoints) return out.Fail(1, 0, "no column line \"Phase X Y ... Euler1 Euler2 Euler3\"");
  if (auto failed = KeepPoints(out, points, header, options, ctx, info, "band-contrast or MAD"))
    return *failed;
  return out.Succeed();
}

}  // namespace polydec::texture
