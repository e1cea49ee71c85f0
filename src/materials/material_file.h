// The material database file (pfcryst.dat): one block of keyword lines per material, read into
// a list of calculation contexts and appended to; and the built-in default material.
#pragma once

#include <cstddef>
#include <string>

#include "core/input_error.h"
#include "core/records.h"

namespace polydec::materials {

// Longest line accepted; a material line is a few hundred characters, so anything much longer
// is not a material file.
inline constexpr std::size_t kMaxMaterialLineLength = 4096;
// Most materials one file may hold; every material is a full calculation context.
inline constexpr int kMaxMaterials = 2000;

// Reads the file into list, whose first entry is kept and whose other entries are dropped
// (an empty list first receives one cleared entry). Every #NAME line starts a new record at
// the next index, entry 0 first. Returns the index of the last material read, or -1 when the
// file is missing, unreadable, holds no material or has a bad entry; the records read before
// a bad entry stay in the list (the bad one too, as far as it was read), and err (if given)
// receives the line and the reason.
int ReadMaterialFile(core::ORTN_Array& list, const std::string& path,
                     core::InputError* err = nullptr);

// Appends list entry index to an existing file as one material block with CR LF line ends.
// The constants come from the record's a[1..21], the cell angles are written as the record
// holds them (degrees for a record built from typed values). The file is never created,
// truncated or rewritten: a missing file gives false and is left missing. An entry that could
// not be read back (line break or double quote in the name, line break in a reference, a
// class code outside 0..10, a value that is not finite) is refused and nothing is written.
bool AppendMaterialFile(const core::ORTN_Array& list, int index, const std::string& path,
                        core::InputError* err = nullptr);

// Resets r to a new material record: zero tensors, unit cell with right angles, hkl (1,1,1),
// ndata 1, HKLODFNUMP 144, empty name and references.
void ClearMaterial(core::OrientationsRec& r);

// Puts the built-in iron into r (name, Lr, L, M, cell, hkl 211 and its polar angles, E, nu,
// K, G, SYMMETRY, AxisLength); other fields are left as they are.
void DefaultMaterial(core::OrientationsRec& r);

}  // namespace polydec::materials
