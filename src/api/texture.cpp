#include "polydec/texture.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "api/conversions.h"
#include "api/texture_data.h"
#include "core/input_file.h"
#include "core/large_array.h"
#include "core/text_fields.h"
#include "crystal/lattice.h"
#include "texture/kernel_odf.h"
#include "texture/odf_grid.h"
#include "texture/odf_readers.h"
#include "texture/orientation_lists.h"
#include "texture/pole_figure.h"
#include "texture/texture_picture.h"

namespace polydec {

namespace fs = std::filesystem;

namespace api {

const core::OrientationsRec& ContextOf(const Texture& texture) {
  static const core::OrientationsRec kEmpty;
  return texture.data ? texture.data->ctx : kEmpty;
}

}  // namespace api

namespace {

bool LooksLikeMtex(const std::string& path) {
  // What is no regular file is left to the reader, which refuses it by name.
  if (core::InputFileProblem(path)) return false;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  for (int k = 0; k < 10 && in; ++k) {
    line.clear();
    for (char ch; line.size() <= texture::kMaxODFLineLength && in.get(ch) && ch != '\n';)
      line += ch;
    if (line.find("phi1") != std::string::npos && line.find("Phi") != std::string::npos &&
        line.find("phi2") != std::string::npos)
      return true;
  }
  return false;
}

std::string LowerExtension(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

// The first line of a file, at most a few hundred characters.
std::string FirstLine(const std::string& path) {
  if (core::InputFileProblem(path)) return {};
  std::ifstream in(path, std::ios::binary);
  std::string line;
  for (char ch; line.size() < 300 && in.get(ch) && ch != '\n';) line += ch;
  return line;
}

// The format of a file read with kAuto, before any reader runs; an MTEX table may still turn
// out to be an equispaced export (see LoadTexture).
TextureFormat DetectFormat(const std::string& path) {
  const std::string ext = LowerExtension(path);
  const std::string first = FirstLine(path);
  if (ext == ".ctf" || first.find("Channel Text File") != std::string::npos)
    return TextureFormat::kCtf;
  if (ext == ".ang") return TextureFormat::kAng;
  if (texture::LooksLikeOrientationTable(path)) return TextureFormat::kOrientations;
  return LooksLikeMtex(path) ? TextureFormat::kMtex : TextureFormat::kPopla;
}

texture::OrientationListOptions ListOptions(const TextureSource& source) {
  texture::OrientationListOptions o;
  o.unit = source.angleUnits == AngleUnits::kDegrees   ? texture::AngleUnit::kDegrees
           : source.angleUnits == AngleUnits::kRadians ? texture::AngleUnit::kRadians
                                                       : texture::AngleUnit::kAuto;
  o.valuesAreWeights = source.valuesAreWeights;
  o.phase = source.phase;
  o.minQuality = source.minQuality;
  o.maxMad = source.maxMad;
  return o;
}

}  // namespace

bool IsOrientationList(TextureFormat format) {
  return format == TextureFormat::kGrains || format == TextureFormat::kOrientations ||
         format == TextureFormat::kAng || format == TextureFormat::kCtf;
}

Result<KernelShape> ParseKernelShape(const std::string& name) {
  if (name == "poussin" || name == "de-la-vallee-poussin") return KernelShape::kDeLaValleePoussin;
  if (name == "gauss" || name == "gaussian") return KernelShape::kGaussian;
  return Refusal("unknown kernel \"" + name + "\" (poussin, gauss)");
}

Result<TextureFormat> ParseTextureFormat(const std::string& name) {
  for (TextureFormat f : {TextureFormat::kAuto, TextureFormat::kPopla, TextureFormat::kMtex,
                          TextureFormat::kGrains, TextureFormat::kOrientations,
                          TextureFormat::kAng, TextureFormat::kCtf})
    if (name == TextureFormatName(f)) return f;
  return Refusal("unknown format \"" + name +
                 "\" (auto, popla, mtex, grains, orientations, ang, ctf)");
}

std::string TextureFormatName(TextureFormat format) {
  switch (format) {
    case TextureFormat::kPopla:
      return "popla";
    case TextureFormat::kMtex:
      return "mtex";
    case TextureFormat::kGrains:
      return "grains";
    case TextureFormat::kOrientations:
      return "orientations";
    case TextureFormat::kAng:
      return "ang";
    case TextureFormat::kCtf:
      return "ctf";
    case TextureFormat::kAuto:
      break;
  }
  return "auto";
}

Result<Texture> LoadTexture(const TextureSource& source) {
  auto data = std::make_shared<api::TextureData>();
  core::OrientationsRec& ctx = data->ctx;
  ctx.Cryst = api::ToCrystalData(source.cell);
  if (const std::string fault = crystal::CheckCell(ctx.Cryst); !fault.empty())
    return Refusal("cell: " + fault);
  ctx.Cryst.AxisSetting = source.axisSetting;
  crystal::InitCrystal(ctx.Cryst);
  ctx.Cryst.SYS = source.crystalClass;
  // Nothing is known about the sample until the file's extent tells.
  ctx.SYMMETRY = kTriclinicSample;
  ctx.HKLODFNUMP = texture::kFibreSteps;

  Texture t;
  t.path = source.path;
  t.crystalClass = source.crystalClass;
  if (source.path.empty()) {
    t.data = std::move(data);
    return t;
  }
  TextureFormat format = source.format;
  if (format == TextureFormat::kAuto) format = DetectFormat(source.path);
  const bool rules = source.completion == TextureCompletion::kRules;
  const texture::OrientationListOptions listOptions = ListOptions(source);
  texture::OrientationListInfo info;
  texture::ODFReadResult read;
  const auto readAs = [&](TextureFormat f) {
    switch (f) {
      case TextureFormat::kPopla:
        return texture::ReadPoplaODF(source.path, ctx, rules);
      case TextureFormat::kGrains:
        return texture::readwtsfile(source.path, ctx);
      case TextureFormat::kOrientations:
        return texture::ReadOrientationTable(source.path, ctx, listOptions, &info);
      case TextureFormat::kAng:
        return texture::ReadAngMap(source.path, ctx, listOptions, &info);
      case TextureFormat::kCtf:
        return texture::ReadCtfMap(source.path, ctx, listOptions, &info);
      default:
        return texture::LoadODFMTEX(source.path, ctx, rules);
    }
  };
  read = readAs(format);
  // An MTEX table whose angles lie between the nodes of the 5-degree grid is the export of an
  // ODF on an equispaced grid: its values are weights of cells of equal volume.
  if (source.format == TextureFormat::kAuto && format == TextureFormat::kMtex && !read.ok() &&
      !read.field.empty()) {
    core::OrientationsRec fresh = ctx;
    const texture::ODFReadResult asList =
        texture::ReadOrientationTable(source.path, fresh, listOptions, &info);
    if (asList.ok()) {
      ctx = std::move(fresh);
      read = asList;
      format = TextureFormat::kOrientations;
    } else {
      read.message += "; as an orientation table it is refused too: " +
                      (asList.line > 0 ? "line " + std::to_string(asList.line) + ": " : "") +
                      asList.message;
    }
  }
  const bool list = IsOrientationList(format);
  if (!read.ok() || (!list && ctx.ODFNUMP < 1)) {
    InputError e = read;
    if (e.message.empty()) {
      e = InputError{};
      e.file = source.path;
      e.message = texture::kODFNotReadMessage;
    }
    return e;
  }
  t.format = format;
  t.crystalClass = static_cast<CrystalClass>(ctx.Cryst.SYS);
  t.valuesRead = read.valuesRead;
  t.region = {read.region[0], read.region[1], read.region[2]};
  if (list) {
    ctx.UseGrains = true;
    t.grains = true;
    t.skipped = info.skipped;
    t.phases = info.phases;
    t.valuesWereWeights = info.valuesWereWeights;
    t.data = std::move(data);
    if (source.kernel) return KernelTexture(t, *source.kernel);
    return t;
  }
  t.sampleSymmetry = static_cast<SampleSymmetry>(ctx.SYMMETRY);
  t.nodes = ctx.ODFNUMP;
  ctx.TaylorFactor.resize(static_cast<std::size_t>(std::max<core::Int>(ctx.ODFNUMP, 0)));
  const texture::ODFCheckSummary check = texture::ScanODF(ctx, 0);
  t.zeroNodes = check.zeroNodes;
  t.repeatedNodes = check.equalNodes;
  if (check.firstZero)
    t.firstZero.push_back({check.firstZero->i1, check.firstZero->i, check.firstZero->i2});
  if (check.firstEqual)
    t.firstRepeated.push_back({check.firstEqual->i1, check.firstEqual->i, check.firstEqual->i2});
  const texture::ODFRepeatSummary copied = texture::ScanODFForCopiedValues(ctx);
  t.copiedNodes = copied.nodes;
  if (copied.first) t.firstCopied.push_back({copied.first->i1, copied.first->i, copied.first->i2});
  t.data = std::move(data);
  return t;
}

Result<Texture> KernelTexture(const Texture& orientations, const KernelOptions& kernel) {
  if (!orientations.grains)
    return Refusal("a kernel ODF is made from a list of orientations, not from an ODF");
  auto data = std::make_shared<api::TextureData>();
  data->ctx = api::ContextOf(orientations);
  core::OrientationsRec& ctx = data->ctx;
  texture::KernelSpec spec;
  spec.shape = kernel.shape == KernelShape::kGaussian ? texture::KernelShape::kGaussian
                                                      : texture::KernelShape::kDeLaValleePoussin;
  spec.halfwidth = kernel.halfwidth;
  if (const std::string problem = texture::FillKernelODF(ctx, spec); !problem.empty()) {
    InputError e;
    e.file = orientations.path;
    e.field = "halfwidth";
    e.message = problem;
    return e;
  }
  ctx.TaylorFactor.resize(static_cast<std::size_t>(ctx.ODFNUMP));
  Texture t = orientations;
  t.kernel = kernel;
  t.nodes = ctx.ODFNUMP;
  t.sampleSymmetry = kTriclinicSample;
  t.data = std::move(data);
  return t;
}

Result<TextureStatistics> TextureStats(const Texture& texture, int integralIntervals) {
  const core::OrientationsRec& ctx = api::ContextOf(texture);
  if (texture.nodes < 1) return Refusal("the texture holds no ODF");
  TextureStatistics s;
  const texture::ODFValueRange range = texture::ODFRange(ctx);
  s.minimum = range.minimum;
  s.maximum = range.maximum;
  const texture::ODFMoments moments = texture::ODFIntegrals(ctx, integralIntervals);
  s.integral = moments.integral;
  s.textureIndex = texture::TextureIndex(moments);
  const auto finite = [](Real x, const char* what) -> Status {
    if (!std::isfinite(x))
      return Refusal(std::string(what) + " is not a finite number for this input");
    return Ok();
  };
  if (auto st = finite(s.minimum, "the minimum of the ODF"); !st) return st.error();
  if (auto st = finite(s.maximum, "the maximum of the ODF"); !st) return st.error();
  if (auto st = finite(s.integral, "the integral of the ODF"); !st) return st.error();
  if (auto st = finite(s.textureIndex, "the texture index"); !st) return st.error();
  return s;
}

Result<PoleFigure> ComputePoleFigure(const Texture& texture, const Miller& hkl) {
  if (texture.grains && texture.nodes < 1) {
    Result<Texture> smooth = KernelTexture(texture);
    if (!smooth) return smooth.error();
    return ComputePoleFigure(*smooth, hkl);
  }
  core::OrientationsRec ctx = api::ContextOf(texture);
  texture::PoleFigureRec pf;
  try {
    pf = texture::ComputePoleFigure(ctx, hkl[0], hkl[1], hkl[2]);
  } catch (const std::exception& e) {
    InputError err;
    err.file = texture.path;
    err.message = e.what();
    return err;
  }
  PoleFigure out;
  out.hkl = hkl;
  for (int t = 0; t < texture::kPoleFigureTilts; ++t) out.psi.push_back(5 * t);
  for (int a = 0; a < texture::kPoleFigureAzimuths; ++a) out.phi.push_back(5 * a);
  for (int t = 0; t < texture::kPoleFigureTilts; ++t) {
    std::vector<Real> row;
    for (int a = 0; a < texture::kPoleFigureAzimuths; ++a) {
      if (!std::isfinite(pf.Mrd(t, a)))
        return Refusal("the pole density is not a finite number for this input");
      row.push_back(pf.Mrd(t, a));
    }
    out.mrd.push_back(std::move(row));
  }
  out.maximum = pf.MaxMrd();
  out.minimum = pf.MinMrd();
  out.poplaText = texture::PoplaPoleFigureText(pf);
  out.helmingText = texture::HelmingPoleFigureText(pf);
  return out;
}

namespace {

InputError PictureFault(const std::string& field, const std::string& message) {
  InputError e;
  e.field = field;
  e.message = message;
  return e;
}

// Sections within Euler space, levels positive and finite (in increasing order after this).
Result<texture::ContourStyle> StyleOf(const TexturePictureOptions& options) {
  for (Real a : options.phi2)
    if (!std::isfinite(a) || a < 0 || a > 360)
      return PictureFault("phi2", "the section phi2 = " + core::FormatGeneral(a) +
                                      " lies outside 0..360 degrees");
  if (options.phi2.size() > 73)
    return PictureFault("phi2", std::to_string(options.phi2.size()) +
                                    " sections are more than the 73 of the 5-degree grid");
  texture::ContourStyle style;
  for (Real l : options.levels)
    if (!std::isfinite(l) || l <= 0)
      return PictureFault("levels", "the contour level " + core::FormatGeneral(l) +
                                        " is not a positive number of m.r.d.");
  if (options.levels.size() > 40)
    return PictureFault("levels", "at most 40 contour levels, not " +
                                      std::to_string(options.levels.size()));
  style.levels = options.levels;
  std::sort(style.levels.begin(), style.levels.end());
  style.bands = options.bands;
  return style;
}

Result<core::Picture> SectionsPicture(const Texture& texture,
                                      const TexturePictureOptions& options) {
  if (texture.grains && texture.nodes < 1) {
    Result<Texture> smooth = KernelTexture(texture);
    if (!smooth) return smooth.error();
    return SectionsPicture(*smooth, options);
  }
  if (texture.nodes < 1) return Refusal("the texture holds no ODF: there are no sections to draw");
  const Result<texture::ContourStyle> style = StyleOf(options);
  if (!style) return style.error();
  const std::vector<Real> sections =
      options.phi2.empty() ? DefaultOdfSections(texture) : options.phi2;
  return texture::DrawOdfSections(api::ContextOf(texture), sections, *style);
}

Result<core::Picture> PoleFiguresPicture(const std::vector<PoleFigure>& figures,
                                         const TexturePictureOptions& options) {
  if (figures.empty()) return Refusal("no pole figure to draw");
  const Result<texture::ContourStyle> style = StyleOf(options);
  if (!style) return style.error();
  std::vector<texture::PoleFigurePanel> panels;
  for (const PoleFigure& pf : figures)
    panels.push_back({texture::PoleFigureTitle(pf.hkl[0], pf.hkl[1], pf.hkl[2]), pf.mrd});
  return texture::DrawPoleFigures(panels, *style);
}

Status Written(const Result<core::Picture>& picture, const std::string& path,
               const std::string& title) {
  if (!picture) return picture.error();
  if (const auto problem = core::WritePicture(*picture, path, title)) return Refusal(*problem);
  return Ok();
}

}  // namespace

std::vector<Real> DefaultOdfSections(const Texture& texture) {
  return texture::DefaultSections(texture.crystalClass, texture.sampleSymmetry);
}

Result<RgbPicture> DrawOdfSections(const Texture& texture, const TexturePictureOptions& options) {
  const Result<core::Picture> p = SectionsPicture(texture, options);
  if (!p) return p.error();
  return api::RgbPictureOf(*p);
}

Result<RgbPicture> DrawPoleFigures(const std::vector<PoleFigure>& figures,
                                   const TexturePictureOptions& options) {
  const Result<core::Picture> p = PoleFiguresPicture(figures, options);
  if (!p) return p.error();
  return api::RgbPictureOf(*p);
}

Status WriteOdfSections(const Texture& texture, const std::string& path,
                        const TexturePictureOptions& options) {
  // The extension is checked before anything is drawn.
  if (!core::PictureExtension(path)) return Written(core::Picture{}, path, "");
  return Written(SectionsPicture(texture, options), path, "ODF sections");
}

Status WritePoleFigures(const std::vector<PoleFigure>& figures, const std::string& path,
                        const TexturePictureOptions& options) {
  if (!core::PictureExtension(path)) return Written(core::Picture{}, path, "");
  return Written(PoleFiguresPicture(figures, options), path, "Pole figures");
}

}  // namespace polydec
