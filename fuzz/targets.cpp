#include "targets.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>

#include "core/input_error.h"
#include "fit/fit_input.h"
#include "materials/material_file.h"
#include "stress/measurement_table.h"
#include "stress/sff_file.h"
#include "stress/worksheet_cells.h"
#include "stress/worksheet_file.h"
#include "texture/kernel_odf.h"
#include "texture/odf_readers.h"
#include "texture/orientation_lists.h"
#include "workbench/main_form.h"
#include "workbench/services.h"

namespace polydec::fuzz {

namespace {

namespace fs = std::filesystem;

// One private folder per process for the files the readers open by name.
const fs::path& Folder() {
  static const fs::path folder = [] {
    fs::path p = fs::temp_directory_path() / ("polydec_fuzz_" + std::to_string(::getpid()));
    fs::create_directories(p);
    return p;
  }();
  return folder;
}

std::string AsFile(const std::uint8_t* data, std::size_t size, const std::string& name) {
  const fs::path path = Folder() / name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path.string();
}

// The folder as the program's: the shipped database beside it, copied once.
void PrepareProgramFolder() {
  static const bool prepared = [] {
    const fs::path database = fs::path(POLYDEC_SOURCE_DIR) / "data" / "pfcryst.dat";
    std::error_code ec;
    fs::copy_file(database, Folder() / "pfcryst.dat", fs::copy_options::overwrite_existing, ec);
    return true;
  }();
  (void)prepared;
}

int LoadODFOf(const std::uint8_t* data, std::size_t size, texture::ODFFileKind kind) {
  const std::string path = AsFile(data, size, "odf.txt");
  core::OrientationsRec ctx;
  if (texture::LoadODF(path, kind, true, ctx).loaded && kind != texture::ODFFileKind::kGrains)
    texture::VisitODFFindings(ctx, [](const texture::ODFFinding&) { return true; });
  return 0;
}

}  // namespace

int MaterialDatabase(const std::uint8_t* data, std::size_t size) {
  core::ORTN_Array list;
  core::InputError error;
  materials::ReadMaterialFile(list, AsFile(data, size, "pfcryst.dat"), &error);
  return 0;
}

int PoplaODF(const std::uint8_t* data, std::size_t size) {
  core::OrientationsRec ctx;
  texture::ReadPoplaValues(AsFile(data, size, "odf.txt"), ctx);
  return 0;
}

int MtexODF(const std::uint8_t* data, std::size_t size) {
  core::OrientationsRec ctx;
  // Keeping what was read before an unreadable line walks the rest of the reader too.
  texture::ReadMtexValues(AsFile(data, size, "odf.txt"), ctx,
                          texture::UnreadLines::kKeepWhatWasRead);
  return 0;
}

int OdfExpansion(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  return LoadODFOf(data + 1, size - 1,
                   data[0] % 2 == 0 ? texture::ODFFileKind::kPopla : texture::ODFFileKind::kMTEX);
}

int GrainsFile(const std::uint8_t* data, std::size_t size) {
  return LoadODFOf(data, size, texture::ODFFileKind::kGrains);
}

// The orientation lists up to their grains; one in four inputs also makes the kernel ODF of
// what was read (a wide kernel, so that a run stays short).
int OrientationListOf(const std::uint8_t* data, std::size_t size, const char* name,
                      texture::ODFReadResult (*read)(const std::string&, core::OrientationsRec&,
                                                     const texture::OrientationListOptions&,
                                                     texture::OrientationListInfo*)) {
  core::OrientationsRec ctx;
  ctx.Cryst.SYS = polydec::kCubic;
  texture::OrientationListOptions options;
  options.maxPoints = 20000;
  if (read(AsFile(data, size, name), ctx, options, nullptr).ok() && size % 4 == 0)
    texture::FillKernelODF(ctx, {texture::KernelShape::kDeLaValleePoussin, 40});
  return 0;
}

int OrientationTable(const std::uint8_t* data, std::size_t size) {
  return OrientationListOf(data, size, "table.txt", &texture::ReadOrientationTable);
}

int AngMap(const std::uint8_t* data, std::size_t size) {
  return OrientationListOf(data, size, "map.ang", &texture::ReadAngMap);
}

int CtfMap(const std::uint8_t* data, std::size_t size) {
  return OrientationListOf(data, size, "map.ctf", &texture::ReadCtfMap);
}

int Worksheet(const std::uint8_t* data, std::size_t size) {
  stress::ReadWorksheetFile(AsFile(data, size, "sheet.tsd"), stress::kWorksheetRows);
  return 0;
}

int WorksheetCalc(const std::uint8_t* data, std::size_t size) {
  PrepareProgramFolder();
  const std::string path = AsFile(data, size, "calc.tsd");
  workbench::HeadlessServices services;
  workbench::MainForm window(services, Folder().string());
  services.files.push_back(path);
  window.LoadGridDataBtnClick();
  window.FijBtnClick();
  window.StressBtnClick();
  return 0;
}

int MeasurementTable(const std::uint8_t* data, std::size_t size) {
  // Tables given in 2theta are converted with a wavelength; the reader must cope with both.
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  stress::MeasurementTableRead table = stress::ParseMeasurementTable(text, "table.csv", 1.5406);
  if (table.isTable && !table.error) {
    core::CellTable g;
    stress::NewWorksheet(g);
    stress::ApplyMeasurementTable(g, table, true);
  }
  stress::ParseMeasurementTable(text, "table.csv", std::nullopt);
  return 0;
}

int StressFactorFile(const std::uint8_t* data, std::size_t size) {
  core::CellTable g;
  stress::NewWorksheet(g);
  stress::NameWorksheetColumns(g, true);
  stress::LoadStressFactorFile(AsFile(data, size, "factors.sff"), g, "2 1 1 4 1 1 1");
  return 0;
}

int FitInput(const std::uint8_t* data, std::size_t size) {
  core::InputError error;
  fit::ParseFitInput(std::string_view(reinterpret_cast<const char*>(data), size), error);
  return 0;
}

int Settings(const std::uint8_t* data, std::size_t size) {
  // A program folder with the shipped database and the settings file under test.
  PrepareProgramFolder();
  AsFile(data, size, "polydec.ini");
  workbench::HeadlessServices services;
  workbench::MainForm window(services, Folder().string());
  return 0;
}

const std::vector<NamedTarget>& Targets() {
  static const std::vector<NamedTarget> targets = {{"material_database", MaterialDatabase},
                                                   {"popla_odf", PoplaODF},
                                                   {"mtex_odf", MtexODF},
                                                   {"odf_expansion", OdfExpansion},
                                                   {"grains_file", GrainsFile},
                                                   {"orientation_table", OrientationTable},
                                                   {"ang_map", AngMap},
                                                   {"ctf_map", CtfMap},
                                                   {"worksheet", Worksheet},
                                                   {"worksheet_calc", WorksheetCalc},
                                                   {"measurement_table", MeasurementTable},
                                                   {"stress_factor_file", StressFactorFile},
                                                   {"fit_input", FitInput},
                                                   {"settings", Settings}};
  return targets;
}

}  // namespace polydec::fuzz
