// Property atoms and molecules. An atom is one named field of a property record of one kind
// (bold of the character kind, left indent of the paragraph kind); each kind has a fixed table of
// atom descriptors giving the field's place, value type, description, XML tag and RTF keyword.
// A molecule is a compact sorted list of atoms with values: a formatting change, or the
// difference between two records. Molecules apply to records and ranges, and the same tables
// read property records from XML.
#pragma once

#include "glimmet/storage/gmTypes.h"

#include <QString>

#include <cstdint>
#include <span>
#include <vector>

class FLXmlDecoder;
struct PropRecord;

// Value types of atoms.
enum : uint32_t {
  kAtomAction = 0,
  kAtomByteEnum = 1,   // a character atom number
  kAtomFlag = 2,
  kAtomBookmark = 4,   // int32, -1 none
  kAtomKolor = 8,
  kAtomEnum = 9,       // u32 with a word list
  kAtomFont = 10,      // u16 font index
  kAtomHeight = 11,    // int64 EMU
  kAtomMarker = 12,    // list marker, 12 bytes
  kAtomLength = 13,    // int64 EMU
  kAtomLineWidth = 14, // int64 EMU
  kAtomInteger = 15,
  kAtomPage = 17,      // int32, -1 none
  kAtomFontSize = 18,  // quarter points
  kAtomRelSize = 19,   // int16
  kAtomMultiple = 20,  // int64
  kAtomShortString = 22,  // u16 count and up to four UTF-16 units
  kAtomTab = 23,
  kAtomTextBoxes = 24,  // 160 bytes
};

// Atom numbers the code refers to by name.
namespace CharAtom {
inline constexpr uint32_t style = 1, plain = 2, bold = 3, italic = 4, underline = 5, caps = 7, relSize = 10,
                          font = 11, size = 12, color = 15, backColor = 16, noLink = 18, sizeStep = 19;
}
namespace ParaAtom {
inline constexpr uint32_t style = 1, plain = 2, align = 3, prefix = 15, suffix = 16, firstIndent = 17,
                          leftIndent = 18, rightIndent = 19, noTab = 23, tab = 24, addTab = 32, clearTabs = 33;
}
inline constexpr uint32_t kStyleAtom = 1;

struct GMAtom {
  uint8_t number = 0;
  uint8_t valueSize = 0;   // 0: no stored value
  uint32_t valueType = 0;
  uint32_t offset = 0;     // in the record's body
  uint32_t group = 0;
  QString description;     // with "%@" or "%d" for the value; empty when none
  uint32_t rtfKeyword = 0; // index into the RTF keyword table, 0 none
  uint32_t rtfForm = 0;    // how the RTF writer writes the value
  QString xmlTag;          // the engine package's tag name; empty when none
  uint32_t xmlKey = 0;     // the tag's key (from 1000), 0 until the tag table is registered
  uint32_t arrayIndex = 0; // column or marker number of repeated atoms
  std::span<const char* const> words;  // the word list of an enumeration
  bool used = false;        // false: an empty slot
};

// Atoms per kind (0 to 8; kind 6 has none).
extern const uint32_t g_atomCounts[9];
// The atom table of a kind; empty for kind 6 and unknown kinds.
std::span<const GMAtom> AtomTable(uint32_t kind);
// The atom of a kind by number, nullptr outside the table.
const GMAtom* AtomFor(uint32_t kind, uint32_t atom);
// The atom of a kind with the XML tag name, nullptr when none has it.
const GMAtom* AtomForXmlTag(uint32_t kind, const QString& tag);
// The kind and atom that an RTF keyword index sets (the first in kind order; repeated column
// atoms share one keyword and are told apart by their array index); false when none.
bool AtomForRtfKeyword(uint32_t keyword, uint32_t* kind, uint32_t* atom);
// Sets each atom's XML tag key from a tag-name table (the engine package's keys).
void SetAtomXmlKeys(uint32_t (*keyForTag)(const QString& tag));

// Word lists of the enumerations.
namespace AtomWords {
extern const std::span<const char* const> underline, caps, align, borderKind, borderLine, chapterStart, pagePosition,
    numberFormat, wrap, anchor, horzPosition, vertPosition, tabAlign, tabLeader, markerKind;
}

// The index of the first word equal to the text ignoring case; no match gives "Unknown tag value" and 0.
uint32_t EnumAtomValueForString(const QString& text, std::span<const char* const> words);

// A molecule: entries of a u16 header (bits 0-7 atom, 8-11 kind, 12-15 entry length) and a value,
// sorted by kind and atom number; tab atoms may repeat, sorted by tab position.
struct GMMolecule {
  uint32_t count = 0;
  std::vector<uint8_t> entries;  // used bytes only
};

struct GMAtomEntry {
  uint32_t kind = 0;
  uint32_t atom = 0;
  uint32_t length = 0;        // entry bytes, header included
  const uint8_t* value = nullptr;
  uint32_t valueBytes = 0;
};

GMMolecule* EmptyMolecule();
GMMolecule* NewMolecule(uint32_t kind, uint32_t atom, const void* value);
bool AddAtomToMolecule(GMMolecule* molecule, uint32_t kind, uint32_t atom, const void* value);
void FreeMolecule(GMMolecule* molecule);
// The entries of a molecule in order.
std::vector<GMAtomEntry> MoleculeEntries(const GMMolecule& molecule);

// Changes the record by the molecule's atoms of its kind; cp is where a character style 0 takes
// its paragraph's style (negative: Normal's).
void ApplyMoleculeToProps(GlimmetDoc* doc, int64_t cp, PropRecord* record, const GMMolecule* molecule);
bool ApplyMoleculeToRange(const DocRange& range, const GMMolecule* molecule);
// The molecule that turns old into new; nullptr when memory is short.
GMMolecule* MoleculeWithDifferences(const PropRecord& newRecord, const PropRecord& oldRecord);

// Fills a record of the kind from the child elements of the decoder's current element.
void ReadPropsFromXml(FLXmlDecoder& decoder, PropRecord* record, uint32_t kind);

// The installed font of the same family without the bold (or italic) trait; the index itself
// when there is none.
uint16_t FontIndexWithoutTrait(uint16_t fontIndex, bool bold);
