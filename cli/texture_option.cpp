#include "texture_option.h"

#include <CLI/CLI.hpp>
#include <filesystem>

#include "common.h"
#include "texture/odf_readers.h"
#include "texture/orientation_lists.h"

namespace polydec::cli {

namespace {

// A refusal on one line: the file, then the message.
[[noreturn]] void RefuseFile(const std::string& file, const std::string& message) {
  InputError e;
  e.file = file;
  e.message = message;
  std::string text = e.Describe();
  for (char& c : text)
    if (c == '\n') c = ' ';
  throw Failure(text);
}

}  // namespace

std::vector<std::string> TextureFormatNames() {
  return {"auto", "popla", "mtex", "grains", "orientations", "ang", "ctf"};
}

void AddOrientationListOptions(CLI::App* cmd, OrientationListOptions& o) {
  cmd->add_option("--angles", o.angles,
                  "Unit of the angles of an orientation table: degrees, radians, or auto (the "
                  "header's unit, else radians when every angle lies within 0..2pi)")
      ->check(CLI::IsMember({"auto", "degrees", "radians"}))
      ->capture_default_str();
  cmd->add_flag("--values-are-weights", o.valuesAreWeights,
                "Take the values of an orientation table as weights even though its points are "
                "not equispaced");
  cmd->add_option("--phase", o.phase, "Phase of an EBSD map (default: the only one indexed)")
      ->check(CLI::Range(0, 999));
  cmd->add_option("--min-quality", o.minQuality,
                  "Leave out map points of lower confidence index (.ang) or band contrast (.ctf)");
  cmd->add_option("--max-mad", o.maxMad,
                  "Leave out .ctf points whose mean angular deviation exceeds this (degrees)");
  cmd->add_option("--kernel", o.kernel,
                  "Kernel of the ODF made from an orientation list: poussin (de la Vallee "
                  "Poussin) or gauss")
      ->check(CLI::IsMember({"poussin", "gauss"}))
      ->capture_default_str();
  cmd->add_option("--halfwidth", o.halfwidth,
                  "Half-width (degrees) of that kernel, where it falls to half its peak")
      ->check(CLI::Range(1.0, 90.0))
      ->capture_default_str();
}

void ApplyOrientationListOptions(const OrientationListOptions& o, TextureSource& source) {
  source.angleUnits = o.angles == "degrees"   ? AngleUnits::kDegrees
                      : o.angles == "radians" ? AngleUnits::kRadians
                                              : AngleUnits::kAuto;
  source.valuesAreWeights = o.valuesAreWeights;
  source.phase = o.phase;
  if (o.minQuality) source.minQuality = *o.minQuality;
  if (o.maxMad) source.maxMad = *o.maxMad;
}

KernelOptions KernelOf(const OrientationListOptions& o) {
  KernelOptions k;
  k.shape = Take(ParseKernelShape(o.kernel), "--kernel");
  k.halfwidth = o.halfwidth;
  return k;
}

TextureFormat GrainsFormatOf(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".ang") return TextureFormat::kAng;
  if (ext == ".ctf") return TextureFormat::kCtf;
  if (ext != ".wts" && texture::LooksLikeOrientationTable(path)) return TextureFormat::kOrientations;
  return TextureFormat::kGrains;
}

Texture LoadOdfOption(const std::string& odf, const std::string& format,
                      const ResolvedMaterial& material, const OrientationListOptions& list) {
  namespace fs = std::filesystem;
  if (!fs::exists(odf)) throw Failure("ODF file " + odf + " does not exist");
  // The file is read in the material's class: an MTEX table says nothing of its crystal, and
  // its region is completed by the rotations of the class it belongs to (phi2 0..60 of a
  // hexagonal ODF by the sixfold axis). A popla file that shows another class (hexagonal
  // sections with a cubic material) is refused below.
  TextureSource source;
  source.crystalClass = material.crystalClass;
  source.cell = material.cell;
  source.path = fs::absolute(odf).string();
  source.format = format == "grains-auto" ? GrainsFormatOf(odf)
                                          : Take(ParseTextureFormat(format), "--odf-format");
  ApplyOrientationListOptions(list, source);
  source.kernel = KernelOf(list);
  NoteInputFile(odf);
  auto read = LoadTexture(source);
  if (!read) {
    std::string text = texture::kODFNotReadMessage;
    if (read.error().message != text) text += "\n" + read.error().Describe();
    RefuseFile(odf, text);
  }
  if (material.crystalClass != read->crystalClass)
    RefuseFile(odf, texture::kODFSymmetryMismatchMessage);
  return std::move(read).value();
}

}  // namespace polydec::cli
