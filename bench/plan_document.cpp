#include "plan_document.h"

#include <cstdint>
#include <cstdio>
#include <map>

namespace bench {

namespace {

// A small fixed generator, so that every run measures the same bytes.
struct TRandom {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<uint32_t>(state >> 11);
  }
  uint32_t Below(uint32_t n) { return Next() % n; }
};

const char* const kStreets[] = {"Ленина",     "Малышева", "8 Марта",         "Куйбышева",
                                "Белинского", "Репина",   "Сибирский тракт", "Фронтовых бригад"};
const char* const kUses[] = {"для индивидуального жилищного строительства",
                             "для ведения личного подсобного хозяйства &amp; огородничества",
                             "под объект торговли &quot;Магазин&quot;", "для размещения гаражей"};

void Line(std::string& out, int indent, const std::string& text) {
  out.append(static_cast<size_t>(indent) * 2, ' ');
  out += text;
  out += "\r\n";
}

std::string Format(const char* format, double a, double b, int c) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, format, a, b, c);
  return buffer;
}

}  // namespace

std::string MakePlanDocument(size_t target_bytes) {
  TRandom rng;
  std::string out;
  out.reserve(target_bytes + (1 << 16));
  out += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n";
  out += "<?xml-stylesheet type=\"text/xsl\" href=\"/xsl/GKN/KPT/09/common.xsl\"?>\r\n";
  out +=
      "<KPT xmlns=\"urn://x-artefacts-rosreestr-ru/outgoing/kpt/9.0.3\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\r\n";
  Line(out, 1, "<CadastralBlocks>");
  int block = 0;
  while (out.size() < target_bytes) {
    ++block;
    char number[64];
    std::snprintf(number, sizeof number, "66:41:%07d", 101000 + block);
    Line(out, 2, std::string("<CadastralBlock CadastralNumber=\"") + number + "\">");
    Line(out, 3, "<Parcels>");
    for (int parcel = 1; parcel <= 40 && out.size() < target_bytes; ++parcel) {
      Line(out, 4,
           std::string("<Parcel CadastralNumber=\"") + number + ":" + std::to_string(parcel) +
               "\" State=\"06\" DateCreated=\"2012-04-" + std::to_string(10 + parcel % 18) + "\">");
      Line(out, 5, "<Area>");
      Line(out, 6, "<Area>" + std::to_string(600 + rng.Below(3000)) + "</Area>");
      Line(out, 6, "<Unit>055</Unit>");
      Line(out, 5, "</Area>");
      Line(out, 5, "<Location>");
      Line(out, 6, "<inBounds>1</inBounds>");
      Line(out, 6, "<Address>");
      Line(out, 7, "<Region>66</Region>");
      Line(out, 7,
           "<Note>Свердловская область, г. Екатеринбург, ул. " + std::string(kStreets[rng.Below(8)]) + ", д. " +
               std::to_string(1 + rng.Below(120)) + " &quot;" + std::string(rng.Below(2) ? "А" : "Б") +
               "&quot;</Note>");
      Line(out, 6, "</Address>");
      Line(out, 5, "</Location>");
      Line(out, 5, "<Category>003002000000</Category>");
      Line(out, 5, std::string("<Utilization ByDoc=\"") + kUses[rng.Below(4)] + "\"/>");
      Line(out, 5, "<EntitySpatial EntSys=\"ID1\">");
      Line(out, 6, "<SpatialElement>");
      const int points = 8 + static_cast<int>(rng.Below(24));
      double x = 380000 + rng.Below(20000) + rng.Below(100) / 100.0;
      double y = 1520000 + rng.Below(20000) + rng.Below(100) / 100.0;
      for (int point = 1; point <= points; ++point) {
        x += static_cast<int>(rng.Below(4000)) / 100.0 - 20;
        y += static_cast<int>(rng.Below(4000)) / 100.0 - 20;
        Line(out, 7, "<SpelementUnit TypeUnit=\"Точка\" SuNmb=\"" + std::to_string(point) + "\">");
        Line(out, 8, Format("<Ordinate X=\"%.2f\" Y=\"%.2f\" OrdNmb=\"%d\" DeltaGeopoint=\"0.1\"/>", x, y, point));
        Line(out, 7, "</SpelementUnit>");
      }
      Line(out, 6, "</SpatialElement>");
      Line(out, 5, "</EntitySpatial>");
      Line(out, 4, "</Parcel>");
    }
    Line(out, 3, "</Parcels>");
    Line(out, 2, "</CadastralBlock>");
  }
  Line(out, 1, "</CadastralBlocks>");
  Line(out, 1, "<CoordSystems>");
  Line(out, 2, "<CoordSystem Name=\"МСК-66, зона 1\" CsId=\"ID1\"/>");
  Line(out, 1, "</CoordSystems>");
  Line(out, 1, "<CertificationDoc>");
  Line(out, 2, "<Organization>Филиал ФГБУ &quot;ФКП Росреестра&quot; по Свердловской области</Organization>");
  Line(out, 2, "<Date>2015-03-12</Date>");
  Line(out, 2, "<Number>66/15-123456</Number>");
  Line(out, 2, "<Official>");
  Line(out, 3, "<Appointment>Инженер 1 категории</Appointment>");
  Line(out, 3, "<FamilyName>Иванова</FamilyName>");
  Line(out, 3, "<FirstName>Мария</FirstName>");
  Line(out, 2, "</Official>");
  Line(out, 1, "</CertificationDoc>");
  out += "</KPT>\r\n";
  return out;
}

const std::string& PlanDocument(int64_t megabytes) {
  static std::map<int64_t, std::string> documents;
  auto it = documents.find(megabytes);
  if (it == documents.end())
    it = documents.emplace(megabytes, MakePlanDocument(static_cast<size_t>(megabytes) * 1000 * 1000)).first;
  return it->second;
}

}  // namespace bench
