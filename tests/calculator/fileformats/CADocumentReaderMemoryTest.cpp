// Every reader opened and pasted while memory runs out, one allocation after another failing:
// operator new in each of its forms in this process, and malloc and its kin (what ICU's
// converters, the image codecs, Qt's containers and the text engine's records take) in a child
// process. After each failure the process goes on, and the reading either is whole or is told as
// one that ran out of memory: an open that fails with the memory reason, a paste that leaves the
// sheet and its steps as they were with the memory alert. Never a file read in another encoding,
// never a picture silently left out, never a crash in the reference table's storage.
#include "support/AllocationFailures.h"

#include "RichTextTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caReadFile.h"
#include "calculator/model/UndoTestSupport.h"
#include "calculator/model/caCommandGuard.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flImageSaving.h"
#include "framlet/foundation/flImageSupport.h"
#include "platform/FLError.h"
#include "platform/Pasteboard.h"
#include "platform/TextEncodings.h"
#include "support/TestFiles.h"
#include "support/TestData.h"

#include <QBuffer>
#include <QDir>
#include <QImageWriter>
#include <QMimeData>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <new>

namespace {

const QString kMemoryAlert =
    QLatin1String(kCommandMemoryMessage) + QLatin1Char('|') + QLatin1String(kCommandMemoryInformation);

// A picture whose file and pixels are blocks of data, in colours no compression takes away.
QByteArray PngBytes(int width, int height) {
  QImage bitmap(width, height, QImage::Format_ARGB32);
  uint32_t seed = 12345;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      bitmap.setPixel(x, y, seed | 0xFF000000u);
    }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter(&buffer, "png").write(bitmap);
  return bytes;
}

// One reader's input: the files laid out in a folder, the one opened, and what a paste hands in.
struct ReaderCase {
  const char* name;
  std::function<void(const QDir&)> layOut;
  const char* opened;                                  // the file or package opened
  std::function<void(const QDir&, QMimeData&)> paste;  // nothing: the reader has no paste
  // The C allocations that count: a reading through Qt's rich text passes over Qt's own.
  AllocationForms cForms = AllocationForms::Every;
};

std::vector<ReaderCase> ReaderCases() {
  const QByteArray png = PngBytes(48, 32);
  const QByteArray pict = "{\\pict\\pngblip\\picw48\\pich32 " + png.toHex() + "}";
  const QByteArray csv = "a,b,c\n1,2,=SUM(A2:B2)\n3,4,=SUM(A2:B3)\n\"say \"\"hi\"\", \xC3\xBC\",x,=SUM(A2:A3)\n";
  const QByteArray text = "one\ttwo\n\xC3\xBC\t=SUM(A1:B1)\n";
  const QByteArray dif = "TABLE\n0,1\n\"x\"\nVECTORS\n0,1\n\"\"\nTUPLES\n0,2\n\"\"\nDATA\n0,0\n\"\"\n"
                         "-1,0\nBOT\n1,0\n\"say \"\"hi\"\", \xC3\xBC\"\n0,12\nV\n-1,0\nEOD\n";
  const QByteArray rtf = "{\\rtf1\\ansi\\trowd\\cellx1000\\cellx2000\\intbl one\\cell " + pict +
                         "\\cell\\row\\trowd\\cellx1000\\cellx2000\\intbl 12\\cell x\\cell\\row}";
  const QByteArray rtfd = "{\\rtf1\\ansi\\trowd\\cellx1000\\cellx2000\\intbl one\\cell "
                          "{{\\NeXTGraphic pic.png \\width120 \\height80}\xAC}\\cell\\row"
                          "\\trowd\\cellx1000\\cellx2000\\intbl 12\\cell x\\cell\\row}";
  const QByteArray page = "<html><body><table><tr><td>one</td><td><img src=\"pic.png\"></td></tr>"
                          "<tr><td>12</td><td>x</td></tr></table></body></html>";
  const auto file = [](const char* name, QByteArray bytes) {
    return [name, bytes](const QDir& dir) { ASSERT_TRUE(WriteFileBytes(dir.filePath(QLatin1String(name)), bytes)); };
  };
  const auto withText = [](QByteArray bytes) {
    return [bytes](const QDir&, QMimeData& data) { data.setText(QString::fromUtf8(bytes)); };
  };
  const auto withType = [](const char* type, QByteArray bytes) {
    return [type, bytes](const QDir&, QMimeData& data) { PasteboardSetData(data, QLatin1String(type), bytes); };
  };
  return {
      {"CSV with block formulas", file("sheet.csv", csv), "sheet.csv", withText(csv)},
      {"tab-separated text", file("sheet.txt", text), "sheet.txt", withText(text)},
      {"DIF", file("sheet.dif", dif), "sheet.dif", nullptr},
      {"RTF with a picture", file("sheet.rtf", rtf), "sheet.rtf", withType(kPasteboardRtfType, rtf)},
      {"RTFD with a picture",
       [=](const QDir& dir) {
         ASSERT_TRUE(dir.mkpath(QStringLiteral("sheet.rtfd")));
         ASSERT_TRUE(WriteFileBytes(dir.filePath(QStringLiteral("sheet.rtfd/TXT.rtf")), rtfd));
         ASSERT_TRUE(WriteFileBytes(dir.filePath(QStringLiteral("sheet.rtfd/pic.png")), png));
       },
       "sheet.rtfd", nullptr},
      {"HTML with a picture",
       [=](const QDir& dir) {
         ASSERT_TRUE(WriteFileBytes(dir.filePath(QStringLiteral("page.html")), page));
         ASSERT_TRUE(WriteFileBytes(dir.filePath(QStringLiteral("pic.png")), png));
       },
       "page.html", nullptr, AllocationForms::EveryButQt},
      {"a package with a picture",
       [](const QDir& dir) {
         ASSERT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Sample.Numlet")),
                                     dir.filePath(QStringLiteral("Sample.Numlet"))));
         ASSERT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Sample.Numlet/Images")),
                                     dir.filePath(QStringLiteral("Sample.Numlet/Images"))));
       },
       "Sample.Numlet", nullptr},
      {"a picture pasted", [](const QDir&) {}, nullptr, withType(kPasteboardPngType, png)},
  };
}

// The sheet under test, a folder for the inputs, and the reading of each with a failure armed.
class ReaderMemoryTest : public EditTest {
 protected:
  ReaderMemoryTest() : previousLog_(SetLogHandler([](const QString&) {})) {
    InstallFileFormatServices();
    for (int64_t y = 0; y < 4; ++y)
      for (int64_t x = 0; x < 3; ++x) document.cellAtGridPointImperative({x, y})->setFormula(QString::number(10 * x + y));
    document.evaluate();
  }
  ~ReaderMemoryTest() override {
    AllowAllocations();
    SetFileFormatServices(CAFileFormatServices());
    SetLogHandler(previousLog_);
  }

  // The file opened with the count-th allocation of the forms failing (0: none): its cells, or
  // "failed: " and the reason. The allocations it made, in `made`.
  std::string open(const QString& file, int64_t count, AllocationForms forms, int64_t* made = nullptr) {
    CADocument opened;
    FLError error;
    FailAllocations(count, -1, forms);
    const bool read = opened.openFile(file, &error) != 0;
    const AllocationCounts counts = AllowAllocations();
    if (made) *made = counts.allocations;
    if (read) return FilledCellSummary(opened);
    return "failed: " + std::to_string(error.code) + " " + error.reason.toStdString();
  }

  // The paste at B2 with the failure armed over it alone: whether it went through.
  bool paste(const ReaderCase& reader, int64_t count, AllocationForms forms, int64_t* made = nullptr) {
    QMimeData data;
    reader.paste(QDir(folder.path()), data);
    select("B2", "B2");
    FailAllocations(count, -1, forms);
    const bool pasted = document.paste(&data, false);
    const AllocationCounts counts = AllowAllocations();
    if (made) *made = counts.allocations;
    return pasted;
  }

  // What is wrong after the count-th allocation of an open failed, or nothing.
  std::string checkOpen(const QString& file, const std::string& whole, int64_t count, AllocationForms forms) {
    const std::string read = open(file, count, forms);
    if (read == whole) return {};
    const std::string refused = "failed: " + std::to_string(ENOMEM) + " " + kOutOfMemoryReason;
    if (read == refused) return {};
    return "open at " + std::to_string(count) + ": " + read;
  }

  // What is wrong after the count-th allocation of a paste failed, or nothing; the sheet is left
  // as it was before the paste.
  std::string checkPaste(const ReaderCase& reader, const std::string& before, const std::string& after, int64_t count,
                         AllocationForms forms) {
    const qsizetype told = window.alerts.size();
    const uint32_t steps = window.manager.inUseCount();
    const std::string at = "paste at " + std::to_string(count) + ": ";
    if (paste(reader, count, forms)) {
      if (xml() != after) return at + "told done, and the sheet is not the pasted one";
      if (window.manager.inUseCount() != steps + 1) return at + "done without its step";
      window.manager.undo();
      window.manager.killRedo();
      if (xml() != before) return at + "its undo does not give back the sheet";
      return {};
    }
    if (xml() != before) return at + "refused, and the sheet changed";
    if (window.manager.inUseCount() != steps) return at + "refused, and the steps changed";
    if (window.alerts.size() != told + 1 || window.alerts.back() != kMemoryAlert)
      return at + "refused without the memory alert";
    return {};
  }

  // Failure points over a reading of n allocations: every one while they are few, else as many
  // spread over the whole of it, the first few and the last among them.
  static std::vector<int64_t> points(int64_t n, int64_t most) {
    std::vector<int64_t> counts;
    if (n <= most) {
      for (int64_t k = 1; k <= n; ++k) counts.push_back(k);
      return counts;
    }
    for (int64_t k = 1; k <= 8; ++k) counts.push_back(k);
    for (int64_t k = 0; k < most - 9; ++k) counts.push_back(9 + (n - 9) * k / (most - 9));
    counts.push_back(n);
    return counts;
  }

  QTemporaryDir folder;

 private:
  FLLogHandler previousLog_;
};

// The injection itself: every form of operator new fails at its turn (throwing or answering
// nothing, as the form does), and in a child process malloc, calloc, realloc and the aligned C
// allocations answer nothing with ENOMEM.
TEST_F(ReaderMemoryTest, EveryFormOfAllocationFailsInItsTurn) {
  // Each block is kept where the optimiser cannot see it go unused.
  [[maybe_unused]] static void* volatile kept = nullptr;
  static constexpr auto FailsToMake = [](auto make) {
    try {
      make();
    } catch (const std::bad_alloc&) {
      return true;
    }
    return false;
  };
  struct alignas(64) Line {
    char bytes[64];
  };
  struct Form {
    const char* name;
    std::function<bool()> fails;  // true when the allocation failed
  };
  const Form news[] = {
      {"new", [] { return FailsToMake([] { int* p = new int(1); kept = p; delete p; }); }},
      {"new[]", [] { return FailsToMake([] { int* p = new int[4]; kept = p; delete[] p; }); }},
      {"aligned new", [] { return FailsToMake([] { Line* p = new Line; kept = p; delete p; }); }},
      {"aligned new[]", [] { return FailsToMake([] { Line* p = new Line[3]; kept = p; delete[] p; }); }},
      {"nothrow new",
       [] {
         int* p = new (std::nothrow) int(1);
         kept = p;
         delete p;
         return p == nullptr;
       }},
      {"aligned nothrow new",
       [] {
         void* p = ::operator new(256, std::align_val_t(256), std::nothrow);
         kept = p;
         ::operator delete(p, std::align_val_t(256));
         return p == nullptr;
       }},
  };
  for (const Form& form : news) {
    SCOPED_TRACE(form.name);
    FailAllocations(2);
    EXPECT_FALSE(form.fails());
    EXPECT_TRUE(form.fails());
    EXPECT_FALSE(form.fails());
    EXPECT_EQ(AllowAllocations().failures, 1);
  }

  const int code = RunInChild([] {
    const std::function<void*()> cs[] = {
        [] { return std::malloc(24); },
        [] { return std::calloc(3, 8); },
        [] { return std::realloc(nullptr, 40); },
        [] { return aligned_alloc(64, 128); },
        [] {
          void* p = nullptr;
          return posix_memalign(&p, 64, 128) == 0 ? p : nullptr;
        },
    };
    int form = 0;
    for (const auto& allocate : cs) {
      ++form;
      FailAllocations(1, -1, AllocationForms::Every);
      errno = 0;
      void* p = allocate();
      const int failure = errno;
      AllowAllocations();
      if (p || failure != ENOMEM) return form;
      // Unarmed, nothing fails; armed for operator new only, malloc does not count.
      FailAllocations(1);
      p = allocate();
      AllowAllocations();
      if (!p) return 10 + form;
      std::free(p);
    }
    return 0;
  });
  EXPECT_EQ(code, 0);
}

// Each reader's open and paste whole once, then with operator new failing at each allocation in
// turn: the process goes on, and each reading is whole or told as one that ran out of memory.
TEST_F(ReaderMemoryTest, EachReaderToldWholeOrOutOfMemoryWhenOperatorNewFails) {
  const QDir dir(folder.path());
  for (const ReaderCase& reader : ReaderCases()) {
    SCOPED_TRACE(reader.name);
    reader.layOut(dir);
    if (reader.opened) {
      const QString file = dir.filePath(QLatin1String(reader.opened));
      int64_t n = 0;
      const std::string whole = open(file, 0, AllocationForms::OperatorNew, &n);
      ASSERT_EQ(whole.rfind("failed", 0), std::string::npos) << whole;
      if (std::string(reader.name).find("picture") != std::string::npos) {
        ASSERT_NE(whole.find("picture"), std::string::npos) << whole;
      }
      for (const int64_t count : points(n, 240)) {
        const std::string wrong = checkOpen(file, whole, count, AllocationForms::OperatorNew);
        ASSERT_TRUE(wrong.empty()) << wrong;
      }
      // The program goes on: the same open is whole.
      EXPECT_EQ(open(file, 0, AllocationForms::OperatorNew), whole);
    }
    if (reader.paste) {
      select("B2", "B2");
      const std::string before = xml();
      int64_t n = 0;
      ASSERT_TRUE(paste(reader, 0, AllocationForms::OperatorNew, &n));
      const std::string after = xml();
      ASSERT_NE(after, before);
      window.manager.undo();
      window.manager.killRedo();
      ASSERT_EQ(xml(), before);
      for (const int64_t count : points(n, 240)) {
        const std::string wrong = checkPaste(reader, before, after, count, AllocationForms::OperatorNew);
        ASSERT_TRUE(wrong.empty()) << wrong;
      }
    }
  }
}

// The same with malloc and its kin failing too, each reader in a child process of its own: the
// converters of the text readers, libpng's buffers and Qt's bitmaps among the failure points.
TEST_F(ReaderMemoryTest, EachReaderToldWholeOrOutOfMemoryWhenMallocFails) {
  const QDir dir(folder.path());
  for (const ReaderCase& reader : ReaderCases()) {
    SCOPED_TRACE(reader.name);
    reader.layOut(dir);
    // Told and learnt whole first, here, where an assertion is heard.
    std::string whole, before, after;
    int64_t opens = 0, pastes = 0;
    const QString file = reader.opened ? dir.filePath(QLatin1String(reader.opened)) : QString();
    if (reader.opened) {
      whole = open(file, 0, reader.cForms, &opens);
      ASSERT_EQ(whole.rfind("failed", 0), std::string::npos) << whole;
    }
    if (reader.paste) {
      select("B2", "B2");
      before = xml();
      ASSERT_TRUE(paste(reader, 0, reader.cForms, &pastes));
      after = xml();
      window.manager.undo();
      window.manager.killRedo();
      ASSERT_EQ(xml(), before);
    }
    const int code = RunInChild([&] {
      if (reader.opened)
        for (const int64_t count : points(opens, 120))
          if (const std::string wrong = checkOpen(file, whole, count, reader.cForms); !wrong.empty()) {
            std::fprintf(stderr, "%s: %s\n", reader.name, wrong.c_str());
            return 1;
          }
      if (reader.paste)
        for (const int64_t count : points(pastes, 120))
          if (const std::string wrong = checkPaste(reader, before, after, count, reader.cForms);
              !wrong.empty()) {
            std::fprintf(stderr, "%s: %s\n", reader.name, wrong.c_str());
            return 2;
          }
      // The program goes on: the same readings are whole.
      if (reader.opened && open(file, 0, reader.cForms) != whole) return 3;
      return 0;
    });
    EXPECT_EQ(code, 0) << "1: an open, 2: a paste was not whole nor told out of memory; 3: no whole open after; "
                          "above 128: the child ended by that signal";
  }
}

// A text whose converter cannot be made for memory is never read in another encoding: the
// decoding throws, in every function that converts.
TEST_F(ReaderMemoryTest, AConverterThatCannotBeMadeIsNoOtherEncoding) {
  const QByteArray utf8 = "say \"hi\", \xC3\xBC";
  const int code = RunInChild([&] {
    int failures = 0;
    for (int64_t count = 1; count < 200; ++count) {
      FailAllocations(count, -1, AllocationForms::Every);
      std::optional<QString> text;
      bool threw = false;
      try {
        FLTextPieceDecoder decoder(kFLEncodingUTF8);
        QString out;
        if (decoder.append(utf8, true, out)) text = out;
      } catch (const std::bad_alloc&) {
        threw = true;
      }
      const AllocationCounts counts = AllowAllocations();
      if (threw) ++failures;
      else if (text != QString::fromUtf8(utf8)) return 1;  // bad bytes, or another text, for memory
      if (counts.failures == 0) break;
    }
    return failures > 0 ? 0 : 2;
  });
  EXPECT_EQ(code, 0) << "1: a failure for memory read as bytes that are not UTF-8; 2: no allocation failed";
}

// Saved as RTF with operator new failing at each allocation in turn, a sheet with a picture is
// written with its picture or not saved: never a file without the picture's group, told saved.
// (In a child: what a failed save leaves unfreed is the save's own tests' matter.) And the
// picture's encoding with malloc failing too: the PNG whole, or std::bad_alloc, never nothing.
TEST_F(ReaderMemoryTest, AnRtfSaveWithAPictureWritesItOrFailsForMemory) {
  QImage bitmap(12, 8, QImage::Format_RGB32);
  bitmap.fill(Qt::darkGreen);
  const std::shared_ptr<FLImage> image(FLImage::withCGImage(bitmap, QSizeF(0, 0)));
  document.cellAtGridPointImperative({1, 1})->setPicture(CAPicture::withImage(image, &document));
  const QString file = QDir(folder.path()).filePath(QStringLiteral("out.rtf"));
  const auto save = [&](int64_t count, int64_t* made) {
    QFile::remove(file);
    FLError error;
    bool saved = false;
    FailAllocations(count);
    try {
      saved = document.saveToRtfFile(file, &error);
    } catch (const std::bad_alloc&) {
    }
    const AllocationCounts counts = AllowAllocations();
    if (made) *made = counts.allocations;
    if (!saved) return 0;
    return ReadFileBytes(file).contains("{\\pict") ? 1 : -1;
  };
  int64_t n = 0;
  ASSERT_EQ(save(0, &n), 1);
  int code = RunInChild([&] {
    for (const int64_t count : points(n, 200))
      if (save(count, nullptr) == -1) {
        std::fprintf(stderr, "saved without its picture at %lld\n", static_cast<long long>(count));
        return 1;
      }
    return save(0, nullptr) == 1 ? 0 : 2;
  });
  EXPECT_EQ(code, 0) << "1: saved without its picture; 2: no whole save after";

  // 0: encoded whole, 1: std::bad_alloc, -1: told not encoded.
  const auto encode = [&](int64_t count, AllocationForms forms, int64_t* made) {
    FLImageSaveRequest request;
    request.format = kImageFormatPng;
    int outcome = -1;
    FailAllocations(count, -1, forms);
    try {
      outcome = SaveImageCore(image.get(), request, 0, 0) && !request.data.isEmpty() ? 0 : -1;
    } catch (const std::bad_alloc&) {
      outcome = 1;
    }
    const AllocationCounts counts = AllowAllocations();
    if (made) *made = counts.allocations;
    if (outcome == 0 && QImage::fromData(request.data, "png").size() != bitmap.size()) outcome = -1;
    return outcome;
  };
  int64_t m = 0;
  ASSERT_EQ(encode(0, AllocationForms::Every, &m), 0);
  code = RunInChild([&] {
    int refused = 0;
    for (int64_t count = 1; count <= m; ++count) {
      const int outcome = encode(count, AllocationForms::Every, nullptr);
      if (outcome < 0) {
        std::fprintf(stderr, "the picture told not encoded at %lld of %lld\n", static_cast<long long>(count),
                     static_cast<long long>(m));
        return 1;
      }
      refused += outcome;
    }
    return refused > 0 && encode(0, AllocationForms::Every, nullptr) == 0 ? 0 : 2;
  });
  EXPECT_EQ(code, 0) << "1: a picture not encoded for memory told as one that cannot be; 2: nothing failed";
}

}  // namespace
