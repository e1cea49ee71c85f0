#include "polydec/map.h"

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "api/factor_calculator.h"
#include "core/text_fields.h"
#include "models/stress_factor_cache.h"
#include "stress/fit_conditioning.h"
#include "stress/map_table.h"
#include "stress/stress_evaluation.h"
#include "stress/worksheet_cells.h"

namespace polydec {

namespace {

// Runs the fits of a chunk on a fixed set of threads (the calling one among them). Every job
// writes its own slot, so the results are the same whatever thread ran which job. The caller
// waits only for the workers that took part: on a machine whose cores are busy with other
// programs a worker may wake long after the caller has done every job itself, and the next
// batch must not wait for it.
class WorkerPool {
 public:
  explicit WorkerPool(unsigned threads) {
    for (unsigned t = 1; t < threads; ++t) workers_.emplace_back([this] { Work(); });
  }
  ~WorkerPool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
  }
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // job(i) for every i < count; returns when all are done.
  void Run(std::size_t count, const std::function<void(std::size_t)>& job) {
    if (workers_.empty()) {
      for (std::size_t i = 0; i < count; ++i) job(i);
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      job_ = &job;
      count_ = count;
      next_ = 0;
      ++generation_;
    }
    wake_.notify_all();
    Drain(job, count);
    // Every job is taken: no worker joins any more, and those inside finish their last one.
    std::unique_lock<std::mutex> lock(mutex_);
    job_ = nullptr;
    done_.wait(lock, [this] { return inside_ == 0; });
  }

 private:
  void Drain(const std::function<void(std::size_t)>& job, std::size_t count) {
    for (std::size_t i = next_++; i < count; i = next_++) job(i);
  }
  void Work() {
    std::uint64_t seen = 0;
    for (;;) {
      const std::function<void(std::size_t)>* job = nullptr;
      std::size_t count = 0;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [&] { return quit_ || (job_ != nullptr && generation_ != seen); });
        if (quit_) return;
        seen = generation_;
        job = job_;
        count = count_;
        ++inside_;
      }
      Drain(*job, count);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        --inside_;
      }
      done_.notify_one();
    }
  }

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  const std::function<void(std::size_t)>* job_ = nullptr;  // null between runs
  std::size_t count_ = 0;
  std::atomic<std::size_t> next_{0};
  std::size_t inside_ = 0;  // workers running jobs of the current run
  std::uint64_t generation_ = 0;
  bool quit_ = false;
};

unsigned ThreadCount(unsigned asked) {
  if (asked > 0) return asked;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? cores : 1;
}

InputError Placed(InputError e, const std::string& file) {
  if (e.file.empty()) e.file = file;
  return e;
}

// A data set ready for its fit: the rows with their stress factors, or why it cannot be fitted.
struct PreparedSet {
  MapSetResult result;
  stress::StressDataSet rows;
};

// The stress factors of the map's rows: one calculator of the phase, each distinct reflection
// and direction computed once.
class MapFactors {
 public:
  MapFactors(const Phase& phase, const MapOptions& options) : phase_(phase), options_(options) {}

  std::string Setup(const Texture* texture) {
    WorksheetDecOptions dec;
    dec.model = options_.model;
    dec.grainShape = options_.grainShape;
    dec.intervals = options_.intervals;
    std::string refused = api::BuildFactorCalculator(phase_, dec, texture, true, calc_);
    if (refused.empty()) cache_.emplace(*calc_);
    return refused;
  }

  // The stress factors of one row in the fit's layout (1e-6/MPa, shear entries the full
  // coefficient), or why there are none.
  std::string Of(const Miller& hkl, Real phi, Real psi, core::Tensor2& F) {
    models::FactorMeasurement m;
    m.hkl = hkl;
    m.phi = phi * core::kPi / 180;
    m.psi = psi * core::kPi / 180;
    m.code = options_.model;
    models::MeasurementFactors f;
    if (std::string refused = cache_->Compute(m, f); !refused.empty()) return refused;
    for (int i = 1; i <= 3; ++i)
      for (int j = 1; j <= 3; ++j) {
        const Real x = f.F(i, j) * (i == j ? 1000 : 2000);
        if (!std::isfinite(static_cast<double>(x)))
          return "the stress factors are not finite: the grain shape or the constants lie "
                 "beyond what the models handle";
        F(i, j) = x;
      }
    return {};
  }

  // The reflection of a table's "h k l" text, read as the worksheet reads its cell.
  std::optional<Miller> Reflection(const std::string& text, std::string& why) {
    auto it = reflections_.find(text);
    if (it == reflections_.end()) {
      const stress::ReflectionCell cell =
          stress::ReadReflectionCell("(" + text + ")", phase_.crystalClass);
      std::optional<Miller> hkl;
      if (cell.error.empty()) hkl = Miller{cell.hkl[0], cell.hkl[1], cell.hkl[2]};
      it = reflections_.emplace(text, std::make_pair(hkl, "\"" + text + "\" " + cell.error)).first;
    }
    if (!it->second.first) why = it->second.second;
    return it->second.first;
  }

  // The factors of a data set's row at `position`: the rows of a map repeat the directions of
  // the data set before them in the same order, so the row at the same position of the last
  // data set is tried before the cache.
  std::string OfRow(stress::StressMeasurement& m, std::size_t position) {
    if (position < recent_.size()) {
      const Recent& r = recent_[position];
      if (r.phi == m.phi && r.psi == m.psi && r.reflection == m.reflection) {
        m.F = r.F;
        return {};
      }
    }
    std::string why;
    const std::optional<Miller> hkl = Reflection(m.reflection, why);
    if (!hkl) return why;
    why = Of(*hkl, m.phi, m.psi, m.F);
    if (!why.empty()) return why;
    if (position >= recent_.size()) recent_.resize(position + 1);
    recent_[position] = {m.reflection, m.phi, m.psi, m.F};
    return {};
  }

  std::size_t Computed() const { return cache_ ? cache_->Computed() : 0; }

 private:
  struct Recent {
    std::string reflection;
    Real phi = 0, psi = 0;
    core::Tensor2 F;
  };
  std::vector<Recent> recent_;
  const Phase& phase_;
  const MapOptions& options_;
  std::optional<models::StressFactorCalculator> calc_;
  std::optional<models::StressFactorCache> cache_;
  std::unordered_map<std::string, std::pair<std::optional<Miller>, std::string>> reflections_;
};

// The fit of one data set as the worksheet's "Calc Stress" does it, its refusals the same.
void FitSet(PreparedSet& p, const stress::StressFitOptions& fit, const std::string& file) {
  if (p.result.refusal) return;
  std::vector<stress::StressDataSet> one(1);
  one[0] = std::move(p.rows);
  std::optional<core::InputError> error = stress::CheckDataSets(one, fit);
  if (!error) error = stress::CheckDetermined(one, fit);
  if (!error) {
    StressSetResult r = stress::FitDataSet(one[0], fit, {});
    error = stress::NonFiniteResult(r);
    if (!error) p.result.fit = std::move(r);
  }
  if (error) p.result.refusal = Placed(*error, file);
  p.rows = stress::StressDataSet{};
}

void FitAll(std::vector<PreparedSet>& sets, const stress::StressFitOptions& fit,
            const std::string& file, WorkerPool& pool) {
  pool.Run(sets.size(), [&](std::size_t i) { FitSet(sets[i], fit, file); });
}

}  // namespace

Result<MapSummary> EvaluateMapFile(const std::string& path, const Phase& phase,
                                   const MapOptions& options, const MapTableOptions& table,
                                   const Texture* texture,
                                   const std::function<void(const MapChunk&)>& sink,
                                   const std::function<bool(const MapProgress&)>& progress) {
  stress::MapTableReader reader(path, table.wavelength, table.setColumn,
                                table.skipIncompleteRows);
  if (reader.Error()) return Placed(*reader.Error(), path);
  MapFactors factors(phase, options);
  if (std::string refused = factors.Setup(texture); !refused.empty())
    return Refusal("stress factors: " + refused);
  WorkerPool pool(ThreadCount(options.threads));
  const stress::StressFitOptions& fit = options.fit;

  MapSummary summary;
  summary.columns = reader.ExtraColumns();
  std::vector<stress::MapTableSet> read;
  std::vector<PreparedSet> prepared;
  const stress::ParallelFor parallel = [&pool](std::size_t count,
                                               const std::function<void(std::size_t)>& job) {
    pool.Run(count, job);
  };
  while (reader.Next(options.chunkSets, read, parallel)) {
    prepared.clear();
    prepared.resize(read.size());
    for (std::size_t k = 0; k < read.size(); ++k) {
      stress::MapTableSet& in = read[k];
      PreparedSet& p = prepared[k];
      p.result.label = in.label;
      p.result.index = summary.sets + k;
      p.result.firstLine = in.firstLine;
      p.result.rows = static_cast<int>(in.rows.size());
      p.result.extra = std::move(in.extra);
      p.rows.label = in.label;
      if (in.error) {
        p.result.refusal = Placed(*in.error, path);
        continue;
      }
      p.rows.members = std::move(in.rows);
      for (std::size_t r = 0; r < p.rows.members.size(); ++r) {
        stress::StressMeasurement& m = p.rows.members[r];
        const std::string why = factors.OfRow(m, r);
        if (why.empty()) continue;
        p.result.refusal = InputError{path, m.row, 0, {}, why};
        p.rows.members.clear();
        break;
      }
    }
    FitAll(prepared, fit, path, pool);
    MapChunk chunk;
    chunk.columns = &summary.columns;
    chunk.sets.reserve(prepared.size());
    for (PreparedSet& p : prepared) {
      summary.refused += p.result.refusal ? 1 : 0;
      chunk.sets.push_back(std::move(p.result));
    }
    summary.sets += chunk.sets.size();
    if (sink) sink(chunk);
    if (progress && !progress({summary.sets, reader.BytesRead(), reader.BytesTotal()}))
      return Refusal("the map was stopped after " + std::to_string(summary.sets) +
                     " data sets (line " + std::to_string(chunk.sets.back().firstLine) +
                     " and before)");
  }
  if (reader.Error()) return Placed(*reader.Error(), path);
  summary.droppedRows = reader.DroppedRows();
  summary.factorsComputed = factors.Computed();
  return summary;
}

Result<std::vector<MapSetResult>> EvaluateMap(
    const MapColumns& c, const Phase& phase, const MapOptions& options, const Texture* texture,
    const std::function<bool(std::size_t, std::size_t)>& progress) {
  const std::size_t n = c.label.size();
  const auto unequal = [&](const char* name, std::size_t size, bool optional) {
    return size != n && !(optional && size == 0)
               ? std::optional<InputError>(InputError{
                     {}, 0, 0, name,
                     "the column has " + std::to_string(size) + " entries, the labels " +
                         std::to_string(n) + ": every column needs one entry per row"})
               : std::nullopt;
  };
  for (const auto& check :
       {unequal("hkl", c.hkl.size(), false), unequal("phi", c.phi.size(), false),
        unequal("psi", c.psi.size(), false), unequal("d", c.d.size(), false),
        unequal("d_err", c.dErr.size(), true), unequal("d0", c.d0.size(), false),
        unequal("d0_err", c.d0Err.size(), true)})
    if (check) return *check;
  if (c.extra.size() != c.extraNames.size())
    return Refusal("the record names " + std::to_string(c.extraNames.size()) +
                   " extra columns and holds " + std::to_string(c.extra.size()));
  for (std::size_t e = 0; e < c.extra.size(); ++e)
    if (auto bad = unequal(c.extraNames[e].c_str(), c.extra[e].size(), false)) return *bad;

  // Data sets in the order of their first rows, as the worksheet groups them.
  std::vector<std::vector<std::size_t>> members;
  {
    std::unordered_map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < n; ++i) {
      const auto [it, added] = index.try_emplace(c.label[i], members.size());
      if (added) members.emplace_back();
      members[it->second].push_back(i);
    }
  }
  MapFactors factors(phase, options);
  if (std::string refused = factors.Setup(texture); !refused.empty())
    return Refusal("stress factors: " + refused);
  WorkerPool pool(ThreadCount(options.threads));
  const stress::StressFitOptions& fit = options.fit;
  const std::size_t total = members.size();
  const std::size_t chunkSets = options.chunkSets > 0 ? options.chunkSets : 1;
  const auto given = [](const std::vector<Real>& v, std::size_t i) {
    return i < v.size() && !std::isnan(static_cast<double>(v[i]));
  };

  std::vector<MapSetResult> out;
  out.reserve(total);
  std::vector<PreparedSet> prepared;
  for (std::size_t first = 0; first < total; first += chunkSets) {
    const std::size_t count = std::min(chunkSets, total - first);
    prepared.clear();
    prepared.resize(count);
    for (std::size_t k = 0; k < count; ++k) {
      const std::vector<std::size_t>& rows = members[first + k];
      PreparedSet& p = prepared[k];
      p.result.label = c.label[rows.front()];
      p.result.index = first + k;
      p.result.firstLine = static_cast<int>(rows.front()) + 1;
      p.result.rows = static_cast<int>(rows.size());
      for (const std::vector<Real>& column : c.extra) p.result.extraValues.push_back(column[rows.front()]);
      p.rows.label = p.result.label;
      p.rows.members.resize(rows.size());
      for (std::size_t r = 0; r < rows.size(); ++r) {
        const std::size_t i = rows[r];
        stress::StressMeasurement& m = p.rows.members[r];
        m.label = p.result.label;
        m.row = static_cast<int>(i) + 1;
        m.phi = c.phi[i];
        m.psi = c.psi[i];
        m.d = c.d[i];
        m.d0 = c.d0[i];
        m.sdGiven = given(c.dErr, i);
        m.sd = m.sdGiven ? c.dErr[i] : 0;
        m.sd0Given = given(c.d0Err, i);
        m.sd0 = m.sd0Given ? c.d0Err[i] : 0;
        m.reflection = core::FormatGeneral(c.hkl[i][0]) + " " + core::FormatGeneral(c.hkl[i][1]) +
                       " " + core::FormatGeneral(c.hkl[i][2]);
        std::string why;
        const auto finite = [](Real x) { return std::isfinite(static_cast<double>(x)); };
        if (!finite(m.phi) || !finite(m.psi) || !(m.d > 0) || !(m.d0 > 0) || !finite(m.d) ||
            !finite(m.d0) || m.sd < 0 || m.sd0 < 0)
          why = "phi and psi must be numbers, d and d0 positive spacings, the uncertainties not "
                "negative";
        else
          why = factors.Of(c.hkl[i], m.phi, m.psi, m.F);
        if (why.empty()) continue;
        p.result.refusal = InputError{{}, m.row, 0, {}, "row " + std::to_string(m.row) + ": " + why};
        p.rows.members.clear();
        break;
      }
    }
    FitAll(prepared, fit, {}, pool);
    for (PreparedSet& p : prepared) out.push_back(std::move(p.result));
    if (progress && !progress(out.size(), total))
      return Refusal("the map was stopped after " + std::to_string(out.size()) + " of " +
                     std::to_string(total) + " data sets");
  }
  return out;
}

std::string MeasurementColumnOf(const std::string& header) {
  return stress::MeasurementColumnOf(header);
}

}  // namespace polydec
