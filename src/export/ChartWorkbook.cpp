#include "ChartWorkbook.h"

#include "SheetProtection.h"
#include "core/Platform.h"
#include "marketdata/TempFiles.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace zuvemo::exporting {

namespace {

const char* const kTemplateType
    = "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml";
const char* const kWorkbookType
    = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml";
constexpr unsigned kParse = pugi::parse_default | pugi::parse_ws_pcdata | pugi::parse_declaration;

std::string serialize(const pugi::xml_document& doc)
{
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw, pugi::encoding_utf8);
    return out.str();
}

bool parse(pugi::xml_document& doc, const std::optional<std::string>& text)
{
    return text && doc.load_buffer(text->data(), text->size(), kParse, pugi::encoding_utf8);
}

// "xl/worksheets/sheet1.xml" from the workbook's relationship target "worksheets/sheet1.xml"
// or "/xl/worksheets/sheet1.xml".
std::string partName(const std::string& target)
{
    if (!target.empty() && target[0] == '/') {
        return target.substr(1);
    }
    return "xl/" + target;
}

// Column letters and row number of a reference such as "AB12".
bool parseRef(const char* ref, int& row, int& column)
{
    column = 0;
    const char* p = ref;
    while (*p >= 'A' && *p <= 'Z') {
        column = column * 26 + (*p - 'A' + 1);
        ++p;
    }
    row = 0;
    auto res = std::from_chars(p, p + std::strlen(p), row);
    return column > 0 && row > 0 && res.ec == std::errc();
}

// Elements that may follow sheetData, in schema order: sheetProtection goes before the first
// of these that is present.
const char* const kAfterProtection[] = {"protectedRanges", "scenarios", "autoFilter", "sortState",
    "dataConsolidate", "customSheetViews", "mergeCells", "phoneticPr", "conditionalFormatting",
    "dataValidations", "hyperlinks", "printOptions", "pageMargins", "pageSetup", "headerFooter", "rowBreaks",
    "colBreaks", "customProperties", "cellWatches", "ignoredErrors", "smartTags", "drawing", "legacyDrawing",
    "legacyDrawingHF", "picture", "oleObjects", "controls", "webPublishItems", "tableParts", "extLst"};

struct ProtectionCache
{
    std::string password;
    std::string salt;
    std::string hash;
};

} // namespace

std::string ChartWorkbook::cellName(int row, int column)
{
    std::string letters;
    for (int c = column; c > 0; c = (c - 1) / 26) {
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    }
    return letters + std::to_string(row);
}

ChartWorkbook::Result ChartWorkbook::open(
    const std::filesystem::path& templatePath, const std::string& sheetName, std::string* error)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(templatePath, ec)) {
        return Result::TemplateMissing;
    }
    m_template = templatePath;
    ZipArchive zip;
    if (!zip.open(templatePath, error)) {
        return Result::Damaged;
    }
    pugi::xml_document workbook;
    pugi::xml_document rels;
    if (!parse(workbook, zip.read("xl/workbook.xml")) || !parse(rels, zip.read("xl/_rels/workbook.xml.rels"))
        || !parse(m_styles, zip.read("xl/styles.xml"))) {
        return Result::Damaged;
    }
    std::string relId;
    for (auto sheet : workbook.child("workbook").child("sheets").children("sheet")) {
        if (sheetName == sheet.attribute("name").value()) {
            relId = sheet.attribute("r:id").value();
        }
    }
    if (relId.empty()) {
        return Result::SheetMissing;
    }
    for (auto rel : rels.child("Relationships").children("Relationship")) {
        if (relId == rel.attribute("Id").value()) {
            m_sheetPart = partName(rel.attribute("Target").value());
        }
    }
    if (m_sheetPart.empty() || !parse(m_sheet, zip.read(m_sheetPart))) {
        return Result::SheetMissing;
    }
    m_sheetData = m_sheet.child("worksheet").child("sheetData");
    if (!m_sheetData) {
        return Result::Damaged;
    }
    for (auto row : m_sheetData.children("row")) {
        int r = row.attribute("r").as_int();
        m_rows[r] = row;
        m_maxRow = std::max(m_maxRow, r);
        for (auto c : row.children("c")) {
            int cr = 0;
            int cc = 0;
            if (parseRef(c.attribute("r").value(), cr, cc)) {
                m_cells[{cr, cc}] = c;
                m_maxColumn = std::max(m_maxColumn, cc);
            }
        }
    }
    return Result::Ok;
}

pugi::xml_node ChartWorkbook::cell(int row, int column)
{
    if (auto it = m_cells.find({row, column}); it != m_cells.end()) {
        return it->second;
    }
    pugi::xml_node rowNode;
    if (auto it = m_rows.find(row); it != m_rows.end()) {
        rowNode = it->second;
    } else {
        auto next = m_rows.upper_bound(row);
        rowNode = next == m_rows.end() ? m_sheetData.append_child("row")
                                       : m_sheetData.insert_child_before("row", next->second);
        rowNode.append_attribute("r") = row;
        m_rows[row] = rowNode;
    }
    // Cells stay in column order within their row.
    pugi::xml_node before;
    for (auto it = m_cells.upper_bound({row, column}); it != m_cells.end() && it->first.first == row; ++it) {
        before = it->second;
        break;
    }
    pugi::xml_node c = before ? rowNode.insert_child_before("c", before) : rowNode.append_child("c");
    c.append_attribute("r") = cellName(row, column).c_str();
    m_cells[{row, column}] = c;
    m_maxRow = std::max(m_maxRow, row);
    m_maxColumn = std::max(m_maxColumn, column);
    return c;
}

int ChartWorkbook::derivedStyle(int base, int numberFormat, bool quotePrefix)
{
    auto key = std::make_tuple(base, numberFormat, quotePrefix);
    if (auto it = m_styleCache.find(key); it != m_styleCache.end()) {
        return it->second;
    }
    auto xfs = m_styles.child("styleSheet").child("cellXfs");
    pugi::xml_node source;
    int i = 0;
    for (auto xf : xfs.children("xf")) {
        if (i++ == base) {
            source = xf;
            break;
        }
    }
    int count = static_cast<int>(std::distance(xfs.children("xf").begin(), xfs.children("xf").end()));
    pugi::xml_node xf = source ? xfs.append_copy(source) : xfs.append_child("xf");
    if (!source) {
        xf.append_attribute("numFmtId") = 0;
        xf.append_attribute("fontId") = 0;
        xf.append_attribute("fillId") = 0;
        xf.append_attribute("borderId") = 0;
        xf.append_attribute("xfId") = 0;
    }
    if (numberFormat > 0) {
        (xf.attribute("numFmtId") ? xf.attribute("numFmtId") : xf.append_attribute("numFmtId"))
            = numberFormat;
        (xf.attribute("applyNumberFormat") ? xf.attribute("applyNumberFormat")
                                           : xf.append_attribute("applyNumberFormat"))
            = 1;
    }
    if (quotePrefix) {
        (xf.attribute("quotePrefix") ? xf.attribute("quotePrefix") : xf.append_attribute("quotePrefix")) = 1;
    }
    (xfs.attribute("count") ? xfs.attribute("count") : xfs.append_attribute("count")) = count + 1;
    m_styleCache[key] = count;
    return count;
}

void ChartWorkbook::setText(int row, int column, const std::string& text)
{
    auto c = cell(row, column);
    int style = derivedStyle(c.attribute("s").as_int(0), 0, true);
    while (c.first_child()) {
        c.remove_child(c.first_child());
    }
    (c.attribute("s") ? c.attribute("s") : c.append_attribute("s")) = style;
    (c.attribute("t") ? c.attribute("t") : c.append_attribute("t")) = "inlineStr";
    auto t = c.append_child("is").append_child("t");
    t.append_attribute("xml:space") = "preserve";
    t.text().set(text.c_str());
}

void ChartWorkbook::setNumber(int row, int column, double value, int numberFormat)
{
    auto c = cell(row, column);
    if (numberFormat > 0) {
        int style = derivedStyle(c.attribute("s").as_int(0), numberFormat, false);
        (c.attribute("s") ? c.attribute("s") : c.append_attribute("s")) = style;
    }
    while (c.first_child()) {
        c.remove_child(c.first_child());
    }
    c.remove_attribute("t");
    // A workbook has no infinity or NaN: such a value stays an empty cell.
    if (!std::isfinite(value)) {
        return;
    }
    char buf[40];
    // The C locale, whatever the user interface set: a workbook always has a decimal point.
    auto res = std::to_chars(buf, buf + sizeof buf, value == 0 ? 0.0 : value);
    c.append_child("v").text().set(std::string(buf, res.ptr).c_str());
}

void ChartWorkbook::setEmpty(int row, int column)
{
    auto c = cell(row, column);
    while (c.first_child()) {
        c.remove_child(c.first_child());
    }
    c.remove_attribute("t");
}

void ChartWorkbook::protect(const std::string& password)
{
    // The hash takes 100,000 rounds of SHA-512: one salt per run of the program serves every export.
    static ProtectionCache cache;
    if (cache.hash.empty() || cache.password != password) {
        cache.password = password;
        cache.salt = SheetProtection::newSalt();
        cache.hash = SheetProtection::hashValue(password, cache.salt);
    }
    auto ws = m_sheet.child("worksheet");
    auto p = ws.child("sheetProtection");
    if (!p) {
        pugi::xml_node before;
        for (const char* name : kAfterProtection) {
            if ((before = ws.child(name))) {
                break;
            }
        }
        p = before ? ws.insert_child_before("sheetProtection", before) : ws.append_child("sheetProtection");
    }
    while (p.first_attribute()) {
        p.remove_attribute(p.first_attribute());
    }
    p.append_attribute("algorithmName") = "SHA-512";
    p.append_attribute("hashValue") = cache.hash.c_str();
    p.append_attribute("saltValue") = cache.salt.c_str();
    p.append_attribute("spinCount") = SheetProtection::kSpinCount;
    p.append_attribute("sheet") = 1;
    p.append_attribute("objects") = 1;
    p.append_attribute("scenarios") = 1;
}

ChartWorkbook::Result ChartWorkbook::save(
    const std::filesystem::path& requested, std::string* error, const std::atomic<bool>* cancel)
{
    auto dimension = m_sheet.child("worksheet").child("dimension");
    if (dimension && m_maxRow > 0 && m_maxColumn > 0) {
        dimension.attribute("ref") = ("A1:" + cellName(m_maxRow, m_maxColumn)).c_str();
    }
    // A link is followed to the file it names, which is replaced; anything but a file is refused.
    std::string reason;
    const auto target = core::Platform::replaceableFile(requested, &reason);
    if (!target) {
        if (error) {
            *error = reason;
        }
        return Result::Refused;
    }
    const auto& path = *target;
    // Named after this process, so a later export can tell a killed one's leftovers.
    marketdata::TempFiles::removeStaleOf(path);
    const auto temp = marketdata::TempFiles::partPath(path);
    std::error_code ec;
    if (!std::filesystem::copy_file(m_template, temp, ec)) {
        if (error) {
            *error = ec.message();
        }
        // A copy cut short by a full disk is not left behind.
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        return Result::WriteFailed;
    }
    auto fail = [&](Result r) {
        std::filesystem::remove(temp, ec);
        return r;
    };
    ZipArchive zip;
    if (!zip.open(temp, error)) {
        return fail(Result::WriteFailed);
    }
    auto types = zip.read("[Content_Types].xml");
    if (!types) {
        return fail(Result::Damaged);
    }
    if (auto pos = types->find(kTemplateType); pos != std::string::npos) {
        types->replace(pos, std::strlen(kTemplateType), kWorkbookType);
    }
    // Cell values changed: a calculation chain of the template no longer holds.
    if (zip.remove("xl/calcChain.xml")) {
        const std::string calc = "<Override PartName=\"/xl/calcChain.xml\"";
        if (auto pos = types->find(calc); pos != std::string::npos) {
            types->erase(pos, types->find("/>", pos) + 2 - pos);
        }
    }
    if (!zip.replace("[Content_Types].xml", *types, error)
        || !zip.replace(m_sheetPart, serialize(m_sheet), error)
        || !zip.replace("xl/styles.xml", serialize(m_styles), error) || !zip.close(error)) {
        return fail(Result::WriteFailed);
    }
    if (cancel && cancel->load()) {
        return fail(Result::Cancelled);
    }
    if (!core::Platform::replaceFile(temp, path, error)) {
        return fail(Result::WriteFailed);
    }
    return Result::Ok;
}

} // namespace zuvemo::exporting
