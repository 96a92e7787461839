#include "glimmet/storage/GMTextStore.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flReadingMeter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

GMTextStore::~GMTextStore() {
  for (auto it = blocks_.rbegin(); it != blocks_.rend(); ++it) std::free(it->units);
}

uint32_t GMTextStore::pieceCount() const {
  uint32_t count = 0;
  for (const Chunk& chunk : chunks_) count += uint32_t(chunk.pieces.size());
  return count;
}

uint32_t GMTextStore::chunkOf(uint32_t cp, uint32_t* start) const {
  // From the nearest of the stream's two ends and the last chunk found.
  const uint32_t last = uint32_t(chunks_.size() - 1);
  uint32_t chunk = 0, first = 0;
  uint32_t distance = cp;
  const uint32_t lastStart = length_ - chunks_[last].length;
  if ((cp > lastStart ? cp - lastStart : lastStart - cp) < distance) {
    chunk = last;
    first = lastStart;
    distance = cp > lastStart ? cp - lastStart : lastStart - cp;
  }
  if (hintChunk_ <= last && (cp > hintStart_ ? cp - hintStart_ : hintStart_ - cp) < distance) {
    chunk = hintChunk_;
    first = hintStart_;
  }
  const uint32_t from = chunk;
  if (cp < first) {
    // The last chunk that begins at or before cp.
    while (chunk > 0 && cp < first) first -= chunks_[--chunk].length;
  } else {
    while (chunk < last && cp >= first + chunks_[chunk].length) first += chunks_[chunk++].length;
  }
  searchSteps_ += 1 + (chunk > from ? chunk - from : from - chunk);
  hintChunk_ = chunk;
  hintStart_ = first;
  *start = first;
  return chunk;
}

void GMTextStore::chunkGrew(uint32_t chunk, int64_t delta) {
  if (hintPieceChunk_ == chunk) hintPieceChunk_ = kNoChunk;
  if (hintChunk_ > chunk) hintStart_ = uint32_t(int64_t(hintStart_) + delta);
}

void GMTextStore::chunkInserted(uint32_t index) {
  hintPieceChunk_ = kNoChunk;
  if (hintChunk_ >= index) ++hintChunk_;
}

void GMTextStore::chunkRemoved(uint32_t index) {
  // The chunk removed was empty: the one after it begins where it began.
  hintPieceChunk_ = kNoChunk;
  if (hintChunk_ > index) --hintChunk_;
  if (hintChunk_ >= chunks_.size()) hintChunk_ = hintStart_ = 0;
}

GMTextStore::Place GMTextStore::locate(uint32_t cp) const {
  if (chunks_.empty()) return {0, 0, 0};
  uint32_t start = 0;
  const uint32_t chunk = chunkOf(cp, &start);
  cp -= start;
  const std::vector<Piece>& pieces = chunks_[chunk].pieces;
  const uint32_t chunkLength = chunks_[chunk].length;
  // Only the stream's end lies at a chunk's end.
  if (cp >= chunkLength) return {chunk, uint32_t(pieces.size()), 0};
  // From the nearest of the chunk's two ends and the piece last found in it.
  uint32_t piece = 0, first = 0;
  uint32_t distance = cp;
  if (chunkLength - cp < distance) {
    piece = uint32_t(pieces.size());
    first = chunkLength;
    distance = chunkLength - cp;
  }
  if (hintPieceChunk_ == chunk && (cp > hintPieceStart_ ? cp - hintPieceStart_ : hintPieceStart_ - cp) < distance) {
    piece = hintPiece_;
    first = hintPieceStart_;
  }
  const uint32_t from = piece;
  if (cp < first) {
    do first -= pieces[--piece].length;
    while (cp < first);
  } else {
    while (cp >= first + pieces[piece].length) first += pieces[piece++].length;
  }
  searchSteps_ += piece > from ? piece - from : from - piece;
  hintPieceChunk_ = chunk;
  hintPiece_ = piece;
  hintPieceStart_ = first;
  return {chunk, piece, cp - first};
}

char16_t GMTextStore::at(uint32_t cp) const {
  if (cp >= length_) return 0;
  const Place place = locate(cp);
  return chunks_[place.chunk].pieces[place.piece].text[place.offset];
}

char16_t GMTextStore::Cursor::unit() const {
  if (cp_ >= store_->length_) return 0;
  return store_->chunks_[place_.chunk].pieces[place_.piece].text[place_.offset];
}

void GMTextStore::Cursor::seek(uint32_t cp) {
  constexpr uint32_t kNear = 64;
  if (cp != cp_ && cp < store_->length_ && cp_ < store_->length_ && (cp > cp_ ? cp - cp_ : cp_ - cp) <= kNear) {
    if (cp > cp_) advance(cp - cp_);
    // Back within the piece in one step, over a seam by one.
    while (cp_ > cp) {
      const uint32_t back = std::min(place_.offset, cp_ - cp);
      if (back == 0) {
        previous();
        continue;
      }
      place_.offset -= back;
      cp_ -= back;
    }
    return;
  }
  cp_ = std::min(cp, store_->length_);
  place_ = store_->locate(cp_);
}

void GMTextStore::Cursor::next() {
  if (cp_ >= store_->length_) return;
  ++cp_;
  if (cp_ == store_->length_) {
    place_ = store_->locate(cp_);
    return;
  }
  if (++place_.offset < store_->chunks_[place_.chunk].pieces[place_.piece].length) return;
  place_.offset = 0;
  // The next non-empty piece, in this chunk or a later one.
  do {
    if (++place_.piece >= store_->chunks_[place_.chunk].pieces.size()) {
      place_.piece = 0;
      ++place_.chunk;
      while (store_->chunks_[place_.chunk].pieces.empty()) ++place_.chunk;
    }
  } while (store_->chunks_[place_.chunk].pieces[place_.piece].length == 0);
}

void GMTextStore::Cursor::previous() {
  if (cp_ == 0) return;
  if (cp_ >= store_->length_) {
    place_ = store_->locate(--cp_);
    return;
  }
  --cp_;
  if (place_.offset > 0) {
    --place_.offset;
    return;
  }
  // The previous non-empty piece, in this chunk or an earlier one.
  do {
    while (place_.piece == 0) {
      --place_.chunk;
      place_.piece = uint32_t(store_->chunks_[place_.chunk].pieces.size());
    }
    --place_.piece;
  } while (store_->chunks_[place_.chunk].pieces[place_.piece].length == 0);
  place_.offset = store_->chunks_[place_.chunk].pieces[place_.piece].length - 1;
}

const char16_t* GMTextStore::Cursor::span(uint32_t* count) const {
  if (cp_ >= store_->length_) {
    *count = 0;
    return nullptr;
  }
  const Piece& piece = store_->chunks_[place_.chunk].pieces[place_.piece];
  *count = piece.length - place_.offset;
  return piece.text + place_.offset;
}

const char16_t* GMTextStore::Cursor::spanBefore(uint32_t* count) const {
  if (cp_ >= store_->length_) {
    *count = 0;
    return nullptr;
  }
  *count = place_.offset + 1;
  return store_->chunks_[place_.chunk].pieces[place_.piece].text + *count;
}

void GMTextStore::Cursor::advance(uint32_t n) {
  while (n > 0 && cp_ < store_->length_) {
    const uint32_t left = store_->chunks_[place_.chunk].pieces[place_.piece].length - place_.offset;
    if (n < left) {
      place_.offset += n;
      cp_ += n;
      return;
    }
    // To the piece's last unit, then over the seam.
    place_.offset += left - 1;
    cp_ += left - 1;
    n -= left;
    next();
  }
}

char16_t* GMTextStore::pointerAt(uint32_t cp, uint32_t* limit) const {
  if (cp >= length_) {
    if (limit) *limit = length_;
    return nullptr;
  }
  const Place place = locate(cp);
  const Piece& piece = chunks_[place.chunk].pieces[place.piece];
  if (limit) *limit = cp - place.offset + piece.length;
  return piece.text + place.offset;
}

char16_t* GMTextStore::pointerWithFirst(uint32_t cp, uint32_t* first) const {
  if (cp >= length_) return nullptr;
  const Place place = locate(cp);
  const Piece& piece = chunks_[place.chunk].pieces[place.piece];
  if (first) *first = cp - place.offset;
  return piece.text + place.offset;
}

void GMTextStore::read(uint32_t first, uint32_t count, char16_t* out) const {
  if (count == 0 || first >= length_) return;
  count = std::min(count, length_ - first);
  Place place = locate(first);
  while (count > 0) {
    const Piece& piece = chunks_[place.chunk].pieces[place.piece];
    const uint32_t take = std::min(count, piece.length - place.offset);
    std::memcpy(out, piece.text + place.offset, take * sizeof(char16_t));
    out += take;
    count -= take;
    place.offset = 0;
    if (++place.piece == chunks_[place.chunk].pieces.size()) {
      place.piece = 0;
      ++place.chunk;
    }
  }
}

void GMTextStore::erase(uint32_t first, uint32_t limit) {
  uint32_t remaining = limit - first;
  Place place = locate(first);
  while (remaining > 0) {
    Chunk& chunk = chunks_[place.chunk];
    Piece& piece = chunk.pieces[place.piece];
    if (place.offset > 0) {
      // Keep the head of this piece; a deletion inside it also leaves a tail.
      const uint32_t available = piece.length - place.offset;
      if (remaining < available) {
        const Piece tail{piece.text + place.offset + remaining, available - remaining};
        piece.length = place.offset;
        chunk.pieces.insert(chunk.pieces.begin() + place.piece + 1, tail);
        chunk.length -= remaining;
        chunkGrew(place.chunk, -int64_t(remaining));
        remaining = 0;
        splitChunkIfFull(place.chunk);
        break;
      }
      piece.length = place.offset;
      chunk.length -= available;
      chunkGrew(place.chunk, -int64_t(available));
      remaining -= available;
      place.offset = 0;
      ++place.piece;
    } else if (remaining < piece.length) {
      piece.text += remaining;
      piece.length -= remaining;
      chunk.length -= remaining;
      chunkGrew(place.chunk, -int64_t(remaining));
      remaining = 0;
      break;
    } else {
      // Whole pieces from here: drop as many as the deletion covers in one go.
      uint32_t end = place.piece;
      uint32_t dropped = 0;
      while (end < chunk.pieces.size() && dropped + chunk.pieces[end].length <= remaining) {
        dropped += chunk.pieces[end].length;
        ++end;
      }
      chunk.pieces.erase(chunk.pieces.begin() + place.piece, chunk.pieces.begin() + end);
      chunk.length -= dropped;
      chunkGrew(place.chunk, -int64_t(dropped));
      remaining -= dropped;
    }
    if (place.piece >= chunks_[place.chunk].pieces.size()) {
      if (chunks_[place.chunk].pieces.empty() && chunks_.size() > 1) {
        chunks_.erase(chunks_.begin() + place.chunk);
        chunkRemoved(place.chunk);
      } else {
        ++place.chunk;
      }
      place.piece = 0;
      if (place.chunk >= chunks_.size()) break;
    }
  }
  length_ -= (limit - first) - remaining;
}

void GMTextStore::splitChunkIfFull(uint32_t index) {
  Chunk& chunk = chunks_[index];
  if (chunk.pieces.size() < 2 * kChunkPieces) return;
  Chunk tail;
  const size_t half = chunk.pieces.size() / 2;
  tail.pieces.assign(chunk.pieces.begin() + half, chunk.pieces.end());
  chunk.pieces.resize(half);
  for (const Piece& piece : tail.pieces) tail.length += piece.length;
  chunk.length -= tail.length;
  chunks_.insert(chunks_.begin() + index + 1, std::move(tail));
  chunkInserted(index + 1);
}

void GMTextStore::insertPiece(uint32_t cp, char16_t* text, uint32_t n) {
  if (chunks_.empty()) chunks_.emplace_back();
  const Place place = locate(cp);
  Chunk& chunk = chunks_[place.chunk];
  if (place.offset > 0) {
    Piece& piece = chunk.pieces[place.piece];
    const Piece tail{piece.text + place.offset, piece.length - place.offset};
    piece.length = place.offset;
    const Piece pieces[2] = {{text, n}, tail};
    chunk.pieces.insert(chunk.pieces.begin() + place.piece + 1, pieces, pieces + 2);
  } else {
    // Typing goes on where the previous piece ends in the block: that piece just grows.
    Piece* previous = nullptr;
    if (place.piece > 0) {
      previous = &chunk.pieces[place.piece - 1];
    } else if (place.chunk > 0 && !chunks_[place.chunk - 1].pieces.empty()) {
      previous = &chunks_[place.chunk - 1].pieces.back();
      if (previous->text + previous->length == text) {
        previous->length += n;
        chunks_[place.chunk - 1].length += n;
        chunkGrew(place.chunk - 1, n);
        length_ += n;
        return;
      }
      previous = nullptr;
    }
    if (previous && previous->text + previous->length == text) {
      previous->length += n;
    } else {
      chunk.pieces.insert(chunk.pieces.begin() + place.piece, Piece{text, n});
    }
  }
  chunk.length += n;
  chunkGrew(place.chunk, n);
  length_ += n;
  splitChunkIfFull(place.chunk);
}

bool GMTextStore::replace(uint32_t first, uint32_t limit, const char16_t* text, uint32_t n,
                          char16_t (*mapUnit)(char16_t)) {
  limit = std::min(limit, length_);
  first = std::min(first, limit);
  // Room for the new text first, so that a refused allocation leaves the stream as it was.
  const uint32_t inTail = std::min(blockFree_, n);
  Block fresh{nullptr, 0};
  if (n > inTail) {
    const uint32_t size = std::max(kMinBlockUnits, n - inTail);
    fresh.units = static_cast<char16_t*>(AllocateMemory(size_t(size) * sizeof(char16_t)));
    if (!fresh.units) return false;
    fresh.size = size;
    try {
      // Room grows by doubling: reserving one more each time would copy the list at every block.
      if (blocks_.size() == blocks_.capacity()) blocks_.reserve(std::max<size_t>(16, blocks_.capacity() * 2));
    } catch (const std::bad_alloc&) {
      FLReadingMeter::NoteOutOfMemory();
      std::free(fresh.units);
      return false;
    }
  }
  if (limit > first) erase(first, limit);
  auto store = [&](char16_t* to, const char16_t* from, uint32_t count) {
    if (mapUnit) {
      for (uint32_t i = 0; i < count; ++i) to[i] = mapUnit(from[i]);
    } else {
      std::memcpy(to, from, count * sizeof(char16_t));
    }
  };
  if (inTail > 0) {
    char16_t* tail = blocks_.back().units + (blockSize_ - blockFree_);
    store(tail, text, inTail);
    blockFree_ -= inTail;
    insertPiece(first, tail, inTail);
  }
  if (fresh.units) {
    const uint32_t rest = n - inTail;
    store(fresh.units, text + inTail, rest);
    blocks_.push_back(fresh);
    blockSize_ = fresh.size;
    blockFree_ = fresh.size - rest;
    insertPiece(first + inTail, fresh.units, rest);
  }
  return true;
}
