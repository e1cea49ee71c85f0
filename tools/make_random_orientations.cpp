// Writes the random orientation sets that ship beside the program: "random" + N + ".wts" for
// each N given, grains files of N orientations spread uniformly over orientation space.
//
// Usage: make_random_orientations OUTPUT_FOLDER N...
//
// Uniform orientations are uniform unit quaternions: a point drawn uniformly in the 4-ball and
// projected onto the sphere S3 (Marsaglia 1972), whose distribution is the Haar measure of the
// rotation group (Shoemake 1992). The generator is splitmix64 (Steele, Lea and Flood 2014) with a
// fixed seed per set, and only exact IEEE operations, square roots and the elementary inverse
// functions turn its bits into angles, so every build writes the same bytes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr double kPi = 3.14159265358979323846;

class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform in [-1, 1) on a grid of 2^-52.
  double Symmetric() { return static_cast<double>(Next() >> 11) * 0x1.0p-52 - 1.0; }

 private:
  std::uint64_t state_;
};

struct Bunge {
  double phi1, Phi, phi2;  // degrees
};

double Degrees0To360(double radians) {
  double d = radians * 180.0 / kPi;
  if (d < 0) d += 360.0;
  return d;
}

// Bunge angles of the rotation of the unit quaternion (w, x, y, z), read as the orientation
// matrix g (sample to crystal).
Bunge QuaternionToBunge(double w, double x, double y, double z) {
  const double g11 = 1 - 2 * (y * y + z * z), g12 = 2 * (x * y - w * z);
  const double g13 = 2 * (x * z + w * y), g23 = 2 * (y * z - w * x);
  const double g31 = 2 * (x * z - w * y), g32 = 2 * (y * z + w * x);
  double g33 = 1 - 2 * (x * x + y * y);
  if (g33 > 1) g33 = 1;
  if (g33 < -1) g33 = -1;
  Bunge b{};
  b.Phi = std::acos(g33) * 180.0 / kPi;
  if (std::fabs(g33) > 1 - 1e-12) {
    // Phi = 0 or 180: only phi1 +- phi2 is defined; it is given to phi1.
    b.phi1 = Degrees0To360(std::atan2(g12, g11));
    b.phi2 = 0;
  } else {
    b.phi1 = Degrees0To360(std::atan2(g31, -g32));
    b.phi2 = Degrees0To360(std::atan2(g13, g23));
  }
  return b;
}

bool WriteSet(const std::string& folder, long n) {
  const std::string name = folder + "/random" + std::to_string(n) + ".wts";
  const std::string temporary = name + ".tmp";
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  if (!out) {
    std::fprintf(stderr, "make_random_orientations: cannot create %s\n", temporary.c_str());
    return false;
  }
  std::fprintf(out,
               "popla style WTS file, random grain orientations #=%ld, uniform weights\r\n"
               "Bunge angles\r\n"
               "for all crystal symmetries\r\n"
               "phi1   PHI   phi2   weight\r\n",
               n);
  SplitMix64 random(0x706F6C7964656300ULL + static_cast<std::uint64_t>(n));
  for (long i = 0; i < n; ++i) {
    double w, x, y, z, r2;
    do {
      w = random.Symmetric();
      x = random.Symmetric();
      y = random.Symmetric();
      z = random.Symmetric();
      r2 = w * w + x * x + y * y + z * z;
    } while (r2 > 1 || r2 < 1e-6);
    const double r = std::sqrt(r2);
    const Bunge b = QuaternionToBunge(w / r, x / r, y / r, z / r);
    std::fprintf(out, "%9.4f\t%9.4f\t%9.4f\t%6.4f\r\n", b.phi1, b.Phi, b.phi2, 1.0);
  }
  const bool ok = std::fflush(out) == 0 && !std::ferror(out);
  if (std::fclose(out) != 0 || !ok || std::rename(temporary.c_str(), name.c_str()) != 0) {
    std::fprintf(stderr, "make_random_orientations: cannot write %s\n", name.c_str());
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_random_orientations OUTPUT_FOLDER N...\n");
    return 2;
  }
  for (int k = 2; k < argc; ++k) {
    char* end = nullptr;
    const long n = std::strtol(argv[k], &end, 10);
    if (*end != '\0' || n < 1 || n > 10000000) {
      std::fprintf(stderr, "make_random_orientations: \"%s\" is no set size\n", argv[k]);
      return 2;
    }
    if (!WriteSet(argv[1], n)) return 1;
  }
  return 0;
}
