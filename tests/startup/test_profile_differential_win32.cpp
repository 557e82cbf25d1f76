// Our profile functions against the system's GetPrivateProfileStringA and
// WritePrivateProfileStringA on the Korean code page: one corpus of files, lookups and writes fed
// to both, results compared. Run with the ANSI code page 949 (the test refuses to run without).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "startup/profile_file.h"
#include "support/temp_folder.h"

namespace quillmend {
namespace {

using testing::TempFolder;
using testing::WriteFileBytes;

// Where we differ from the system on purpose, by case name, each with how the two results relate.
// Every other case must agree.
struct Deliberate {
  std::string why;
  std::function<bool(const std::string& system, const std::string& ours)> relation;
};
const std::map<std::string, Deliberate>& DeliberateDifferences() {
  static const std::map<std::string, Deliberate> kList = {
      // A value cut inside a double-byte character: the system stops before the character that
      // does not fit, leaves the caller's byte before the terminator in place and counts it
      // (2047 bytes). We return only the whole characters; once the caller's blanks are trimmed
      // (as the settings routines do) both give the same text.
      {"long/s/hangul",
       {"the caller's byte after a cut character",
        [](const std::string& system, const std::string& ours) { return system == ours + " "; }}},
      // A UTF-8 byte-order mark: Windows takes these bytes as part of the first line (so the
      // first section header is not one); Wine reads the file as UTF-8. We follow Windows: the
      // first section is not found, and the bytes of later values are taken as they stand.
      {"bom/s/k",
       {"a UTF-8 byte-order mark is no marker on Windows",
        [](const std::string& system, const std::string& ours) {
          return system == "1" && ours == "none";
        }}},
      {"bom/t/k",
       {"a UTF-8 byte-order mark is no marker on Windows",
        [](const std::string& system, const std::string& ours) {
          return system == "\xB0\xA1" && ours == "\xEA\xB0\x80";
        }}},
  };
  return kList;
}

struct File {
  std::string name;
  std::string content;  // CP949 bytes
  struct Probe {
    std::string section, key, default_value;
  };
  std::vector<Probe> probes;
};

const std::string kHangulA = "\xB0\x41";  // two syllables whose trail bytes differ in ASCII case
const std::string kHangulLowerA = "\xB0\x61";
const std::string kBackup = "\xB9\xE9\xBE\xF7";  // the section name of the backup switch
const std::string kGa = "\xB0\xA1";               // one Hangul syllable

std::string Repeat(const std::string& piece, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += piece;
  return out;
}

std::vector<File> Corpus() {
  const std::string nul(1, '\0');
  return {
      {"basics",
       "[Version]\r\nLast=7.5.13\r\n[DB]\r\nDSN = clinic \r\nUID=\r\n",
       {{"Version", "Last", "1.0"},
        {"version", "LAST", "1.0"},
        {" Version ", " Last ", "1.0"},
        {"DB", "DSN", "DSN"},
        {"DB", "UID", "sa"},
        {"DB", "PWD", ""},
        {"Missing", "Last", "1.0"},
        {"Version", "Missing", "  1.0  "},
        {"Version", "Missing", "x   "},
        {"Version", "Missing", "'q'"},
        {"Version", "Missing", "\"q\""},
        {"Version", "Missing", "\t1.0\t"},
        {"Version", "", "d"},
        {"", "Last", "d"}}},
      {"hangul",
       "[" + kHangulA + "]\r\nk=upper\r\n[" + kHangulLowerA + "]\r\nk=lower\r\n[" + kBackup +
           "]\r\n" + kHangulA + "=A\r\n" + kHangulLowerA + "=a\r\nOstrel=Y\r\n",
       {{kHangulA, "k", "none"},
        {kHangulLowerA, "k", "none"},
        {kBackup, kHangulA, "none"},
        {kBackup, kHangulLowerA, "none"},
        {kBackup, "ostrel", "N"},
        {kBackup, "OSTREL", "N"}}},
      {"cased letters",
       // Fullwidth A, Greek omega, Cyrillic de, AE and Roman numeral one, each in capitals.
       "[\xA3\xC1]\r\n\xA5\xD8=omega\r\n\xAC\xA5=de\r\n\xA8\xA1=ae\r\n\xA5\xB0=one\r\n",
       {{"\xA3\xC1", "\xA5\xD8", "none"},
        {"\xA3\xE1", "\xA5\xD8", "none"},
        {"\xA3\xC1", "\xA5\xF8", "none"},
        {"\xA3\xC1", "\xAC\xD5", "none"},
        {"\xA3\xC1", "\xA9\xA1", "none"},
        {"\xA3\xC1", "\xA5\xA1", "none"}}},
      {"headers",
       "[a]b]\r\nk=1\r\n[c\r\nk=2\r\n[d] trailing\r\nk=3\r\n[ e ]\r\nk=4\r\n[]\r\nk=5\r\n"
       "[f]\r\n[g]x]y\r\nk=6\r\n",
       {{"a]b", "k", "none"},
        {"a", "k", "none"},
        {"c", "k", "none"},
        {"a]b", "[c", "none"},
        {"d", "k", "none"},
        {"e", "k", "none"},
        {" e ", "k", "none"},
        {"", "k", "none"},
        {"g]x", "k", "none"},
        {"g", "k", "none"}}},
      {"before first section",
       "k=0\r\nonly=here\r\n[s]\r\nk=1\r\n",
       {{"", "k", "none"}, {"", "only", "none"}, {"s", "k", "none"}, {"s", "only", "none"}}},
      {"semicolon",
       "[s]\r\n;k=comment\r\nk=real\r\n; spaced = x\r\n#hash=h\r\n",
       {{"s", ";k", "none"}, {"s", "k", "none"}, {"s", "; spaced", "none"},
        {"s", "#hash", "none"}}},
      {"white space",
       "[s]\r\na=1\v\r\nb=2\f\r\nc=3\x1A\r\nd=\t 4 \t\r\ne=5\xA1\xA1\r\nf=\xA1\xA1" "6\r\n"
       "\xA1\xA1g=7\r\n  h  =  8  \r\n\x1A" "i=9\r\n",
       {{"s", "a", "none"}, {"s", "b", "none"}, {"s", "c", "none"}, {"s", "d", "none"},
        {"s", "e", "none"}, {"s", "f", "none"}, {"s", "g", "none"}, {"s", "h", "none"},
        {"s", " h ", "none"}, {"s", "i", "none"}}},
      {"nul",
       "[s]\r\nv=ab" + nul + "cd\r\nk" + nul + "x=1\r\n[t" + nul + "u]\r\nw=2\r\n",
       {{"s", "v", "none"}, {"s", "k", "none"}, {"t", "w", "none"}}},
      {"line ends",
       "[s]\rk=1\r\n[t]\nk=2\rj=3\n[u]\r\n\r\nk=4\n\n[v]\r\nk=5",
       {{"s", "k", "none"}, {"t", "k", "none"}, {"t", "j", "none"}, {"u", "k", "none"},
        {"v", "k", "none"}}},
      {"reversed line ends",
       "[s]\n\rk=1\n\r\r\nj=2\r\r[t]\r\nk=3",
       {{"s", "k", "none"}, {"s", "j", "none"}, {"t", "k", "none"}}},
      {"empty header only",
       "[]\r\nk=5\r\n[s]\r\nk=1\r\n",
       {{"", "k", "none"}, {" ", "k", "none"}, {"s", "k", "none"}}},
      {"long",
       "[s]\r\nascii=" + std::string(3000, 'x') + "\r\nhangul=" + Repeat(kGa, 1500) +
           "\r\nexact=x" + Repeat(kGa, 1023) + "\r\nquoted='" + std::string(2047, 'y') +
           "'\r\nshortquoted='" + std::string(2045, 'z') + "'\r\nquotedmixed='" +
           std::string(2046, 'w') + kGa + "'\r\n",
       {{"s", "ascii", ""}, {"s", "hangul", ""}, {"s", "exact", ""},
        {"s", "quoted", ""}, {"s", "shortquoted", ""}, {"s", "quotedmixed", ""}}},
      {"no equals",
       "[Version]\r\nLast\r\nLast=2.0\r\nOther\r\n",
       {{"Version", "Last", "1.0"}, {"Version", "Other", "d"}}},
      {"quotes",
       "[s]\r\na=\"x\"\r\nb='y'\r\nc=\"z'\r\nd=\"\r\ne=''\r\nf=\" padded \"\r\ng='it''s'\r\n",
       {{"s", "a", ""}, {"s", "b", ""}, {"s", "c", ""}, {"s", "d", ""}, {"s", "e", ""},
        {"s", "f", ""}, {"s", "g", ""}}},
      {"duplicates",
       "[S]\r\nk=1\r\nk=2\r\n[s]\r\nk=3\r\nj=4\r\n",
       {{"S", "k", "none"}, {"s", "j", "none"}}},
      {"equals",
       "[s]\r\n=empty\r\nk==v\r\nk2 = a=b\r\n",
       {{"s", "k", "none"}, {"s", "k2", "none"}}},
      {"bom",
       "\xEF\xBB\xBF[s]\r\nk=1\r\n[t]\r\nk=\xEA\xB0\x80\r\n",
       {{"s", "k", "none"}, {"t", "k", "none"}}},
  };
}

std::string CaseName(const File& file, const File::Probe& probe) {
  return file.name + "/" + probe.section + "/" + probe.key;
}

// What the system's ANSI function leaves in a buffer of 2048 blanks, up to the count it returns.
std::string SystemRead(const std::string& path, const File::Probe& probe) {
  std::string buffer(kProfileBufferChars, ' ');
  const DWORD n = GetPrivateProfileStringA(
      probe.section.c_str(), probe.key.c_str(), probe.default_value.c_str(),
      buffer.data(), static_cast<DWORD>(buffer.size()), path.c_str());
  return buffer.substr(0, n);
}

std::string Visible(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes.substr(0, 80)) {
    char hex[8];
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return bytes.size() > 80 ? out + "... (" + std::to_string(bytes.size()) + " bytes)" : out;
}

class ProfileDifferential : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(GetACP(), 949u) << "run with the Korean code page (LC_ALL=ko_KR.UTF-8 under Wine)";
  }
  TempFolder dir_;
  int next_ = 0;
  std::string FreshPath() { return dir_.Sub("case" + std::to_string(next_++) + ".ini"); }
};

TEST_F(ProfileDifferential, ReadsAgreeWithTheSystemOnTheCorpus) {
  int compared = 0, deliberate = 0;
  for (const File& file : Corpus()) {
    for (const File::Probe& probe : file.probes) {
      const std::string name = CaseName(file, probe);
      SCOPED_TRACE(name);
      const std::string path = FreshPath();
      WriteFileBytes(path, file.content);
      const std::string system = SystemRead(path, probe);
      const std::string ours =
          ReadProfileStringCp949(path, probe.section, probe.key, probe.default_value);
      if (const auto known = DeliberateDifferences().find(name);
          known != DeliberateDifferences().end()) {
        ++deliberate;
        std::printf("deliberate difference %s (%s)\n", name.c_str(), known->second.why.c_str());
        EXPECT_TRUE(known->second.relation(system, ours))
            << "system \"" << Visible(system) << "\", ours \"" << Visible(ours) << "\"";
        continue;
      }
      ++compared;
      EXPECT_EQ(Visible(ours), Visible(system));
    }
  }
  // Files that are missing, or in a folder that is missing.
  for (const std::string& path : {dir_.Sub("absent.ini"), dir_.Sub("absent\\x.ini")}) {
    for (const char* fallback : {"'q'", "\"q\"", "  d  ", ""}) {
      SCOPED_TRACE(path + " " + fallback);
      const File::Probe probe{"s", "k", fallback};
      ++compared;
      EXPECT_EQ(Visible(ReadProfileStringCp949(path, "s", "k", fallback)),
                Visible(SystemRead(path, probe)));
    }
  }
  std::printf("reads: %d compared, %d deliberate differences\n", compared, deliberate);
}

struct Write {
  std::string name, initial, section, key, value;
};

std::vector<Write> WriteCorpus() {
  const auto files = Corpus();
  auto content = [&](const std::string& name) {
    for (const File& f : files) {
      if (f.name == name) return f.content;
    }
    return std::string();
  };
  return {
      {"new file", "", "Intenet", "g_Connect x", "2026-01-01 00:00:00"},
      {"key without equals", content("no equals"), "Version", "Last", "3.0"},
      {"replace", content("basics"), "Version", "last", "7.6.0"},
      {"new key before another section", content("basics"), "Version", "New", "1"},
      {"leading and trailing blanks", content("basics"), "DB", "PWD", "  secret  "},
      {"same value", content("basics"), "Version", "Last", "7.5.13"},
      {"bracket in section name", content("headers"), "a]b", "k", "9"},
      {"header without bracket", content("headers"), "c", "k", "x"},
      {"hangul", content("hangul"), kBackup, "Ostrel", "N"},
      {"hangul trail case", content("hangul"), kBackup, kHangulLowerA, "new"},
      {"no line end at the end", "[s]\r\nk=1", "s", "j", "2"},
      {"bare line feeds", "[s]\nk=1\n[t]\nk=2\n", "s", "j", "2"},
      {"before first section", content("before first section"), "s", "only", "5"},
      {"semicolon key", content("semicolon"), "s", ";k", "new"},
      {"hangul value", "[s]\r\n", "s", "k", kGa + kGa},
      {"duplicates", content("duplicates"), "s", "j", "5"},
      {"top section", content("before first section"), "", "only", "new"},
      {"top section new key", content("before first section"), "", "fresh", "1"},
      {"top section of a file starting with a header", content("basics"), "", "k", "1"},
      {"empty key", content("basics"), "Version", "", "x"},
      {"blank section name", content("basics"), "  ", "k", "1"},
      {"lone carriage returns", "[s]\rk=1\r[t]\rk=2\r", "s", "j", "3"},
      {"blank lines in section", "[s]\r\nk=1\r\n\r\n\r\n[t]\r\nk=2\r\n", "s", "j", "2"},
  };
}

TEST_F(ProfileDifferential, FilesWrittenByBothReadTheSameThroughTheSystem) {
  // Compared through the system's reader: we keep every other line byte for byte where the
  // system rewrites the whole file (blank lines dropped, a blank line before each section), so
  // the bytes differ on purpose; what any reader finds in them must not.
  int compared = 0;
  for (const Write& write : WriteCorpus()) {
    SCOPED_TRACE(write.name);
    const std::string system_file = FreshPath();
    const std::string our_file = FreshPath();
    if (!write.initial.empty()) {
      WriteFileBytes(system_file, write.initial);
      WriteFileBytes(our_file, write.initial);
    }
    const bool system_ok = WritePrivateProfileStringA(write.section.c_str(), write.key.c_str(),
                                                      write.value.c_str(),
                                                      system_file.c_str()) != FALSE;
    const bool our_ok = WriteProfileStringCp949(our_file, write.section, write.key, write.value);
    EXPECT_EQ(our_ok, system_ok);
    std::vector<File::Probe> probes = {{write.section, write.key, "none"}};
    for (const File& file : Corpus()) {
      if (file.content == write.initial) {
        probes.insert(probes.end(), file.probes.begin(), file.probes.end());
      }
    }
    for (const File::Probe& probe : probes) {
      SCOPED_TRACE(probe.section + "/" + probe.key);
      ++compared;
      EXPECT_EQ(Visible(SystemRead(our_file, probe)), Visible(SystemRead(system_file, probe)));
    }
  }
  std::printf("writes: %zu written, %d reads compared\n", WriteCorpus().size(), compared);
}

}  // namespace
}  // namespace quillmend
