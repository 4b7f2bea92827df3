#include "peers.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tables/table.h"

namespace fs = std::filesystem;

namespace epd::bench {
namespace {

const char* kPythonPeer = R"(import sys, dbf
base, out, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
def copy(name, target):
    src = dbf.Table(base + 'ORDERS/EPD/' + name, codepage='cp1251')
    src.open(dbf.READ_ONLY)
    dst = src.new(out + '/' + target)
    dst.open(dbf.READ_WRITE)
    for rec in src:
        if rec.idmsg == n:
            dst.append(rec)
    dst.close()
    src.close()
copy('cat_epd.dbf', 'h.dbf')
copy('body_epd.dbf', 'b.dbf')
)";

}  // namespace

long CountRows(const fs::path& path) {
  try {
    auto table = epd::tables::Table::Open(path.string());
    long n = 0;
    for (table->First(); !table->Eof(); table->Next()) ++n;
    table->Close();
    return n;
  } catch (const std::exception&) {
    return -1;
  }
}

Peers::Peers(bool wanted, std::string base, fs::path work, std::string invoice, long lines)
    : base_(std::move(base)),
      work_(std::move(work)),
      invoice_(std::move(invoice)),
      lines_(lines),
      gdal_("(d) GDAL ogr2ogr -where", "2 processes: header, lines"),
      python_("(d) Python dbf", "/usr/bin/python3, one process"),
      gdal_start_("", ""),
      python_start_("", "") {
  have_gdal_ = wanted && Installed("ogr2ogr");
  have_python_ =
      wanted && Installed("/usr/bin/python3") && Spawn({"/usr/bin/python3", "-c", "import dbf"}, true).status == 0;
  if (!have_gdal_) gdal_.failure = wanted ? "not installed" : "not run";
  if (!have_python_) python_.failure = wanted ? "not installed" : "not run";
  fs::create_directories(work_);
  std::ofstream(work_ / "peer_dbf.py") << kPythonPeer;
}

// What is wrong with the records a peer wrote, or the empty text.
static std::string Wrong(const fs::path& dir, long lines) {
  const long hr = CountRows(dir / "h.dbf"), lr = CountRows(dir / "b.dbf");
  if (hr == 1 && lr == lines) return {};
  return std::to_string(hr) + " header and " + std::to_string(lr) + " line records written, 1 and " +
         std::to_string(lines) + " expected";
}

void Peers::Round(bool counted) {
  const fs::path out = work_ / "out";
  if (have_gdal_ && gdal_.failure.empty()) {
    EmptyDirectory(out);
    Outcome total;
    bool failed = false;
    for (const auto& [source, target] : {std::pair{"cat_epd.dbf", "h.dbf"}, std::pair{"body_epd.dbf", "b.dbf"}}) {
      Outcome o = Spawn({"ogr2ogr", "--config", "SHAPE_ENCODING", "", "-f", "ESRI Shapefile", (out / target).string(),
                         base_ + "ORDERS/EPD/" + source, "-where", "IDMSG=" + invoice_},
                        true);
      if (o.status != 0) {
        failed = true;
        gdal_.failure = "fails: " + o.error.substr(0, o.error.find('\n'));
        break;
      }
      total.wall_ms += o.wall_ms;
      total.cpu_ms += o.cpu_ms;
      total.rss_mib = std::max(total.rss_mib, o.rss_mib);
    }
    if (!failed) {
      const std::string wrong = Wrong(out, lines_);
      if (!wrong.empty())
        gdal_.failure = "wrong result: " + wrong;
      else if (counted)
        gdal_.AddProcess(total);
    }
    if (counted) gdal_start_.AddProcess(Spawn({"ogr2ogr", "--version"}, true));
  }
  if (have_python_ && python_.failure.empty()) {
    EmptyDirectory(out);
    Outcome o = Spawn({"/usr/bin/python3", (work_ / "peer_dbf.py").string(), base_, out.string(), invoice_}, true);
    if (o.status != 0) {
      std::string last = o.error;
      while (!last.empty() && last.back() == '\n') last.pop_back();
      python_.failure = "fails: " + last.substr(last.rfind('\n') + 1);
    } else {
      const std::string wrong = Wrong(out, lines_);
      if (!wrong.empty())
        python_.failure = "wrong result: " + wrong;
      else if (counted)
        python_.AddProcess(o);
    }
    if (counted) python_start_.AddProcess(Spawn({"/usr/bin/python3", "-c", "import dbf"}, true));
  }
}

std::vector<Series> Peers::Finish() {
  fs::remove_all(work_);
  if (gdal_start_.Measured())
    gdal_.note += "; start-up alone " + std::to_string(static_cast<int>(Median(gdal_start_.time_ms) * 2)) + " ms";
  if (python_start_.Measured())
    python_.note += "; start-up alone " + std::to_string(static_cast<int>(Median(python_start_.time_ms))) + " ms";
  return {gdal_, python_};
}

}  // namespace epd::bench
