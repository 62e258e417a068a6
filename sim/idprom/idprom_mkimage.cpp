// idprom_mkimage: writes the IDPROM image of a simulated fan tray or power
// module, or prints the fields of an image.
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "idprom.h"
#include "idprom_image.h"

namespace {

constexpr const char kUsage[] =
    "usage: idprom_mkimage --class fan|ps --board-id N --version N --pid TEXT --serial TEXT\n"
    "                      [--format-rev N] [--vid TEXT] [--clei TEXT] [--part TEXT] [--descr TEXT]\n"
    "                      [--hw-rev TEXT] [--mfg-date TEXT] --out FILE\n"
    "       idprom_mkimage --print FILE\n"
    "\n"
    "Writes a 256-byte IDPROM image of a fan tray (class fan) or power module (class ps),\n"
    "or decodes an image and prints its fields.\n"
    "\n"
    "  --class fan|ps     unit class of the image\n"
    "  --board-id N       hardware type of the unit (decimal or 0x hex)\n"
    "  --version N        hardware version word: major in bits 16..23, minor in bits 0..7\n"
    "  --format-rev N     revision of the field set (default 1)\n"
    "  --pid TEXT         product id (at most 17 characters)\n"
    "  --serial TEXT      PCB serial number (at most 11 characters)\n"
    "  --vid TEXT         version id (at most 4 characters)\n"
    "  --clei TEXT        equipment code (at most 10 characters)\n"
    "  --part TEXT        top assembly part number (at most 26 characters)\n"
    "  --descr TEXT       description (at most 90 characters)\n"
    "  --hw-rev TEXT      hardware revision (at most 26 characters)\n"
    "  --mfg-date TEXT    manufacturing date (at most 51 characters)\n"
    "  --out FILE         image file to write\n"
    "  --print FILE       decode FILE and print its fields\n"
    "  --help             this text\n";

bool parse_u32(const char* opt, const char* text, uint32_t* out) {
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text, &end, 0);
  if (errno != 0 || end == text || *end != '\0' || v > 0xffffffffULL) {
    std::fprintf(stderr, "idprom_mkimage: %s: \"%s\" is not a 32-bit number\n", opt, text);
    return false;
  }
  *out = static_cast<uint32_t>(v);
  return true;
}

bool set_text(const char* opt, const char* text, char* field, size_t capacity) {
  const size_t len = std::strlen(text);
  if (len >= capacity) {
    std::fprintf(stderr, "idprom_mkimage: %s: \"%s\" is longer than %zu characters\n", opt, text, capacity - 1);
    return false;
  }
  std::memcpy(field, text, len + 1);
  return true;
}

int print_image(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "idprom_mkimage: cannot read %s: %s\n", path, std::strerror(errno));
    return 1;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  dc_idprom_content c{};
  char err[500];
  const uint32_t len = static_cast<uint32_t>(bytes.size());
  int rc = dc_extract_fan_idprom_content(bytes.data(), len, &c, err, sizeof(err));
  if (rc == DC_IDPROM_ERR_CLASS) rc = dc_extract_ps_idprom_content(bytes.data(), len, &c, err, sizeof(err));
  if (rc != DC_IDPROM_OK) {
    std::fprintf(stderr, "idprom_mkimage: %s: not a valid image: %s (0x%x)\n", path, err, rc);
    return 1;
  }
  std::printf("class      %s\nboard-id   0x%08x\nversion    0x%08x\nformat-rev %u\npid        %s\n"
              "serial     %s\nvid        %s\nclei       %s\npart       %s\ndescr      %s\nhw-rev     %s\n"
              "mfg-date   %s\n",
              c.unit_class == DC_IDPROM_CLASS_FAN ? "fan" : "ps", c.board_id, c.version, c.format_rev, c.pid,
              c.pcb_serial, c.vid, c.clei, c.part_num, c.descr, c.hw_rev, c.mfg_date);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  enum { kClass = 1, kBoardId, kVersion, kFormatRev, kPid, kSerial, kVid, kClei, kPart, kDescr, kHwRev, kMfgDate,
         kOut, kPrint, kHelp };
  static const option kOptions[] = {
      {"class", required_argument, nullptr, kClass},      {"board-id", required_argument, nullptr, kBoardId},
      {"version", required_argument, nullptr, kVersion},  {"format-rev", required_argument, nullptr, kFormatRev},
      {"pid", required_argument, nullptr, kPid},          {"serial", required_argument, nullptr, kSerial},
      {"vid", required_argument, nullptr, kVid},          {"clei", required_argument, nullptr, kClei},
      {"part", required_argument, nullptr, kPart},        {"descr", required_argument, nullptr, kDescr},
      {"hw-rev", required_argument, nullptr, kHwRev},     {"mfg-date", required_argument, nullptr, kMfgDate},
      {"out", required_argument, nullptr, kOut},          {"print", required_argument, nullptr, kPrint},
      {"help", no_argument, nullptr, kHelp},              {nullptr, 0, nullptr, 0}};

  dc_idprom_content c{};
  c.format_rev = 1;
  uint8_t unit_class = 0;
  bool have_board = false, have_version = false;
  std::string out_path;
  int opt;
  while ((opt = getopt_long(argc, argv, "", kOptions, nullptr)) != -1) {
    bool ok = true;
    switch (opt) {
      case kClass:
        if (std::strcmp(optarg, "fan") == 0) {
          unit_class = DC_IDPROM_CLASS_FAN;
        } else if (std::strcmp(optarg, "ps") == 0) {
          unit_class = DC_IDPROM_CLASS_PS;
        } else {
          std::fprintf(stderr, "idprom_mkimage: --class: \"%s\" is neither fan nor ps\n", optarg);
          ok = false;
        }
        break;
      case kBoardId: ok = have_board = parse_u32("--board-id", optarg, &c.board_id); break;
      case kVersion: ok = have_version = parse_u32("--version", optarg, &c.version); break;
      case kFormatRev: ok = parse_u32("--format-rev", optarg, &c.format_rev); break;
      case kPid: ok = set_text("--pid", optarg, c.pid, sizeof(c.pid)); break;
      case kSerial: ok = set_text("--serial", optarg, c.pcb_serial, sizeof(c.pcb_serial)); break;
      case kVid: ok = set_text("--vid", optarg, c.vid, sizeof(c.vid)); break;
      case kClei: ok = set_text("--clei", optarg, c.clei, sizeof(c.clei)); break;
      case kPart: ok = set_text("--part", optarg, c.part_num, sizeof(c.part_num)); break;
      case kDescr: ok = set_text("--descr", optarg, c.descr, sizeof(c.descr)); break;
      case kHwRev: ok = set_text("--hw-rev", optarg, c.hw_rev, sizeof(c.hw_rev)); break;
      case kMfgDate: ok = set_text("--mfg-date", optarg, c.mfg_date, sizeof(c.mfg_date)); break;
      case kOut: out_path = optarg; break;
      case kPrint: return print_image(optarg);
      case kHelp: std::fputs(kUsage, stdout); return 0;
      default: std::fputs(kUsage, stderr); return 2;
    }
    if (!ok) return 2;
  }
  if (optind < argc) {
    std::fprintf(stderr, "idprom_mkimage: unexpected argument \"%s\"\n", argv[optind]);
    return 2;
  }
  const char* missing = unit_class == 0     ? "--class"
                        : !have_board       ? "--board-id"
                        : !have_version     ? "--version"
                        : c.pid[0] == 0     ? "--pid"
                        : c.pcb_serial[0] == 0 ? "--serial"
                        : out_path.empty()  ? "--out"
                                            : nullptr;
  if (missing != nullptr) {
    std::fprintf(stderr, "idprom_mkimage: %s is required (see --help)\n", missing);
    return 2;
  }
  uint8_t image[DC_IDPROM_IMAGE_SIZE];
  if (dc_idprom_image_build(&c, unit_class, image, sizeof(image)) != DC_IDPROM_OK) {
    std::fprintf(stderr, "idprom_mkimage: the fields do not fit into %u payload bytes; shorten the texts\n",
                 DC_IDPROM_MAX_PAYLOAD);
    return 1;
  }
  std::ofstream out(out_path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image), sizeof(image));
  out.close();
  if (!out) {
    std::fprintf(stderr, "idprom_mkimage: cannot write %s: %s\n", out_path.c_str(), std::strerror(errno));
    return 1;
  }
  return 0;
}
