// The text stream of an engine document as a piece table over append-only blocks of UTF-16
// code units. Text is never moved: an insertion appends to the tail of the newest block and
// adds a piece, a deletion drops pieces. Pieces are kept in chunks so that finding a cp and
// editing stay cheap in long, much-edited documents.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

class GMTextStore {
 public:
  static constexpr uint32_t kMinBlockUnits = 4096;

  GMTextStore() = default;
  ~GMTextStore();
  GMTextStore(const GMTextStore&) = delete;
  GMTextStore& operator=(const GMTextStore&) = delete;

  uint32_t length() const { return length_; }
  uint32_t blockCount() const { return uint32_t(blocks_.size()); }
  uint32_t pieceCount() const;
  // Size and free tail of the append block, the block new text goes to.
  uint32_t blockSize() const { return blockSize_; }
  uint32_t blockFree() const { return blockFree_; }
  uint32_t blockSizeAt(uint32_t index) const { return blocks_[index].size; }
  // The chunks and pieces the searches for a cp have walked so far: a reading charges them as its
  // steps, so that a pattern of edits that walks far at each one cannot pass its bounds.
  uint64_t searchSteps() const { return searchSteps_; }

  // The code unit at cp; 0 past the end.
  char16_t at(uint32_t cp) const;
  // Pointer to the code unit at cp inside its block, and through limit the cp where the piece
  // that holds it ends; nullptr at or past the end.
  char16_t* pointerAt(uint32_t cp, uint32_t* limit) const;
  // The same, giving through first the cp where the piece that holds cp begins.
  char16_t* pointerWithFirst(uint32_t cp, uint32_t* first) const;
  // Copies count units from first into out; count must lie inside the stream.
  void read(uint32_t first, uint32_t count, char16_t* out) const;

  // Reads the units around a cp one after another, or piece by piece, each step without a
  // search from the start: for scans that walk a stretch of text forwards or backwards. A cursor
  // is valid until the store is next edited.
  class Cursor;

  // Replaces [first, limit) by n units (text may be nullptr when n is 0). mapUnit, when given,
  // rewrites each stored unit. False (stream unchanged) when a block cannot be allocated.
  bool replace(uint32_t first, uint32_t limit, const char16_t* text, uint32_t n,
               char16_t (*mapUnit)(char16_t) = nullptr);


 private:
  struct Piece {
    char16_t* text;
    uint32_t length;
  };
  struct Chunk {
    std::vector<Piece> pieces;
    uint32_t length = 0;
  };
  struct Block {
    char16_t* units;
    uint32_t size;
  };
  struct Place {
    uint32_t chunk;
    uint32_t piece;
    uint32_t offset;  // within the piece
  };

  static constexpr uint32_t kChunkPieces = 512;

  // Where cp lies; at the end of the stream, the place after the last piece.
  Place locate(uint32_t cp) const;
  // The chunk that holds cp, and through start the cp where it begins.
  uint32_t chunkOf(uint32_t cp, uint32_t* start) const;
  // A chunk's length changed by delta, or a chunk was inserted or removed at index: the hint
  // follows.
  void chunkGrew(uint32_t chunk, int64_t delta);
  void chunkInserted(uint32_t index);
  void chunkRemoved(uint32_t index);
  void erase(uint32_t first, uint32_t limit);
  void insertPiece(uint32_t cp, char16_t* text, uint32_t n);
  void splitChunkIfFull(uint32_t chunk);

  std::vector<Chunk> chunks_;
  std::vector<Block> blocks_;
  uint32_t length_ = 0;
  // The chunk the last search found and where it begins, kept right through every edit: text is
  // read and written near where it was last, so a search walks from there, not from an end of
  // a stream of thousands of chunks.
  mutable uint32_t hintChunk_ = 0;
  mutable uint32_t hintStart_ = 0;
  // The piece last found, within its chunk, and where it begins in the chunk; kept until that
  // chunk's pieces change.
  static constexpr uint32_t kNoChunk = ~0u;
  mutable uint32_t hintPieceChunk_ = kNoChunk;
  mutable uint32_t hintPiece_ = 0;
  mutable uint32_t hintPieceStart_ = 0;
  mutable uint64_t searchSteps_ = 0;
  uint32_t blockSize_ = 0;
  uint32_t blockFree_ = 0;
};

class GMTextStore::Cursor {
 public:
  Cursor(const GMTextStore& store, uint32_t cp)
      : store_(&store), cp_(std::min(cp, store.length_)), place_(store.locate(cp_)) {}
  uint32_t cp() const { return cp_; }
  // The unit at the cursor's cp; 0 at or past the end.
  char16_t unit() const;
  // Moves to cp: by steps when it is near, else by a search.
  void seek(uint32_t cp);
  void next();
  void previous();
  // The units from the cursor to the end of its piece (none at the end).
  const char16_t* span(uint32_t* count) const;
  // The units of the cursor's piece up to and including the cursor's: the pointer is one past the
  // cursor's unit, and count gives how many lie before that (none at the end).
  const char16_t* spanBefore(uint32_t* count) const;
  // Moves n units on (at most to the end).
  void advance(uint32_t n);

 private:
  const GMTextStore* store_;
  uint32_t cp_;
  Place place_;
};
