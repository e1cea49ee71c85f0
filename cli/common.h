// Shared pieces of the command line: the error that ends a run with exit status 1, reading
// number lists from option values, and output helpers.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <nlohmann/json.hpp>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/records.h"
#include "core/types.h"
#include "models/macro_stiffness.h"
#include "models/reflection_dec.h"
#include "texture/odf_readers.h"
#include "polydec/error.h"
#include "polydec/dec.h"
#include "polydec/macro.h"
#include "polydec/texture.h"
#include "texture_option.h"

namespace polydec::cli {

// Ends a run whose messages are printed with this exit status (polydec map: 3 when data sets
// were refused, 130 when stopped by Ctrl-C).
struct ExitStatus {
  int status = 0;
};

// Bad input (files, option values): printed as "polydec: error: <what>", exit status 1.
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The value of an engine result, or the end of the run with the result's input error (after
// `what`, the option or file it came from, when given).
template <typename T>
T Take(Result<T> r, const std::string& what = {}) {
  if (!r) {
    const std::string text = r.error().Describe();
    throw Failure(what.empty() ? text : what + ": " + text);
  }
  return std::move(r).value();
}

// The shipped random orientation set of n grains: in `folder` when one is given, else among the
// program's shipped data (beside it in a build tree, <prefix>/share/polydec when installed).
std::string RandomSetPath(int n, const std::string& folder = {});

// The JSON of a macroscopic stiffness: {"C": 6 x 6 (Voigt rows 1..6 of C), "E", "G", "nu"}.
nlohmann::json StiffnessJson(const Matrix6& C, const EngineeringConstants& e);
// The stiffness (GPa) and its engineering constants as a table for people.
void PrintStiffness(std::ostream& out, const Matrix6& C, const EngineeringConstants& e);

// The model of a --model value ("voigt", "kroener", ...); an unknown name is an input error
// that lists the names.
models::ModelCode ParseModelOption(const std::string& name);

// Reads the numbers (point as decimal separator) of a blank-separated option value, or exactly
// `count` of them; `what` names the option in the message.
std::vector<core::Real> ReadNumbers(const std::string& text, const std::string& what);
std::vector<core::Real> ReadNumberList(const std::string& text, std::size_t count,
                                       const std::string& what);
// A reflection "h k l"; for a hexagonal or trigonal crystal class also the four-index
// "h k i l", whose i must be -(h + k) and which is returned as h k l. Brackets around the
// indices are allowed; indices that are no numbers, beyond the largest index, or all zero are
// input errors naming the option and its value.
std::vector<core::Real> ReadMillerIndices(const std::string& text, int crystalClass,
                                          const std::string& what);

// The text of a JSON output, indented, with its final line break. Always valid UTF-8: a byte
// that is no part of a UTF-8 character (a Windows-1252 file name, say) becomes U+FFFD, and
// control characters are escaped. Every --json output is written through it.
std::string JsonOutput(const nlohmann::json& j);

// Full-precision text of a number for JSON (17 significant digits or more).
double JsonNumber(core::Real x);

// Refuses a result that is not finite: no NaN or infinity is ever printed as a number.
void RequireFinite(core::Real x, const std::string& what);

// A unit cell "a b c alpha beta gamma" (angles in degrees), checked for soundness, with its
// derived fields set up for the given axis setting.
core::CrystalData ReadCell(const std::string& text, int axisSetting, const std::string& what);

// "label  value" lines for people: labels left-aligned, values right-aligned, each in a column
// as wide as its widest entry (UTF-8 labels such as "Å" count as one column per character).
void PrintFieldTable(std::ostream& out,
                     const std::vector<std::pair<std::string, std::string>>& rows);

// Where a texture verb takes its ODF from: the options of `odf info`.
struct OdfSourceOptions {
  std::string file;
  std::string format = "auto";
  std::string crystal = "cubic";
  std::string complete = "operators";
  std::string cell = "1 1 1 90 90 90";
  // An orientation list (Euler table, EBSD map, grains file) is read with these options and
  // becomes its kernel ODF.
  OrientationListOptions list;
};
// Adds --odf-format, --symmetry, --complete, --cell and the orientation-list options (the ODF
// file itself is added by the verb).
void AddOdfSourceOptions(CLI::App* cmd, OdfSourceOptions& o);
// Reads the ODF onto the expanded grid of a fresh context whose crystal is the cell and class
// of the options; a refused file ends the run with its reason.
Texture LoadTextureSource(const OdfSourceOptions& o);
// The same texture as the engine's context, for the texture verbs that work on the grid.
core::OrientationsRec LoadOdfSource(const OdfSourceOptions& o);
// Runs a texture verb: an engine fault (std::exception) ends the run as bad input with its
// reason instead of ending the program.
void RunTextureVerb(const std::function<void()>& verb);
// How the texture pictures (`odf sections`, `polefigure -o X.png`) are drawn: --levels and
// --bands.
struct ContourOptions {
  std::string levels;
  bool bands = false;
};
void AddContourOptions(CLI::App* cmd, ContourOptions& o);
// The picture options of the texture API; --levels that do not read are refused naming them.
TexturePictureOptions PictureOptionsOf(const ContourOptions& o);
// Ends the run when a picture was not written: a refused option named as the option (--phi2,
// --levels), anything else as the engine says it.
void TakePicture(const Status& written);
// Whether an output file is a picture (.png, .svg, any case).
bool IsPictureFile(const std::string& path);
// Writes text to the file (through the atomic writer) or, for an empty name, to standard output.
// A file the command has read is refused (see NoteInputFile).
void WriteOutput(const std::string& file, const std::string& text);
// Files the command reads: an output that would replace one of them is refused, since the
// input would be lost (the writer replaces the file only after everything is read).
void NoteInputFile(const std::string& path);
// Throws Failure when output names the same file as one noted as input (through links).
void RefuseInputAsOutput(const std::string& output);

// Each subcommand adds itself to the application.
void AddVersionCommand(CLI::App& app);
void AddLatticeCommand(CLI::App& app);
void AddMaterialsCommand(CLI::App& app);
void AddDecCommand(CLI::App& app);
void AddEshelbyCommand(CLI::App& app);
void AddOdfCommand(CLI::App& app);
void AddFitCommand(CLI::App& app);
void AddWorksheetCommand(CLI::App& app);
void AddAggregateCommand(CLI::App& app);
void AddCijCommand(CLI::App& app);
void AddGrainsCommand(CLI::App& app);
void AddPoleFigureCommand(CLI::App& app);
void AddFibreCommand(CLI::App& app);
void AddSCTensorCommand(CLI::App& app);
void AddTwinsCommand(CLI::App& app);
void AddTaylorCommand(CLI::App& app);
void AddSchmidCommand(CLI::App& app);
void AddElongationCommand(CLI::App& app);
void AddMapCommand(CLI::App& app);

}  // namespace polydec::cli
