#include "platform/image_pdf_writer.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <stdexcept>
#include <system_error>

namespace inkveil::platform {

namespace {

constexpr int kCatalog = 1;
constexpr int kPages = 2;
constexpr size_t kFlushSize = 1 << 20;

// Locale-independent: never "612,5".
std::string num(double v)
{
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 4);
    std::string s(buf, end);
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

std::string ref(int object) { return std::to_string(object) + " 0 R"; }

const char* colorSpaceName(EncodedImage::Color color)
{
    return color == EncodedImage::Color::rgb ? "/DeviceRGB" : "/DeviceGray";
}

} // namespace

ImagePdfWriter::ImagePdfWriter(int fd) : m_fd(fd)
{
    m_objectOffsets.resize(2, 0); // catalog and page tree come last
    write("%PDF-1.7\n%\xE2\xE3\xCF\xD3\n");
}

int ImagePdfWriter::beginObject(int number)
{
    if (static_cast<size_t>(number) > m_objectOffsets.size())
        m_objectOffsets.resize(static_cast<size_t>(number), 0);
    m_objectOffsets[static_cast<size_t>(number) - 1] = m_offset + m_buffer.size();
    write(std::to_string(number) + " 0 obj\n");
    return number;
}

void ImagePdfWriter::endObject() { write("\nendobj\n"); }

void ImagePdfWriter::addPage(double width, double height, int rotate, const EncodedImage& image)
{
    if (m_finished)
        throw std::logic_error("page added after finish");
    const int page = static_cast<int>(m_objectOffsets.size()) + 1;
    const int contents = page + 1;
    const int xobject = page + 2;
    m_pageObjects.push_back(page);

    beginObject(page);
    std::string dict = "<< /Type /Page /Parent " + ref(kPages) + " /MediaBox [0 0 " + num(width) + " " + num(height) + "]";
    if (rotate)
        dict += " /Rotate " + std::to_string(rotate);
    dict += " /Resources << /XObject << /Im0 " + ref(xobject) + " >> >> /Contents " + ref(contents) + " >>";
    write(dict);
    endObject();

    const std::string draw = "q " + num(width) + " 0 0 " + num(height) + " 0 0 cm /Im0 Do Q";
    beginObject(contents);
    write("<< /Length " + std::to_string(draw.size()) + " >>\nstream\n" + draw + "\nendstream");
    endObject();

    beginObject(xobject);
    write("<< /Type /XObject /Subtype /Image /Width " + std::to_string(image.width) + " /Height "
          + std::to_string(image.height) + " /ColorSpace " + colorSpaceName(image.color) + " /BitsPerComponent "
          + std::to_string(image.bitsPerComponent()) + " /Interpolate true /Filter /FlateDecode /DecodeParms << /Predictor 15 /Colors "
          + std::to_string(image.components()) + " /BitsPerComponent " + std::to_string(image.bitsPerComponent())
          + " /Columns " + std::to_string(image.width) + " >> /Length " + std::to_string(image.data.size())
          + " >>\nstream\n");
    write(image.data.constData(), static_cast<size_t>(image.data.size()));
    write("\nendstream");
    endObject();
}

void ImagePdfWriter::finish()
{
    if (m_finished)
        return;
    m_finished = true;

    beginObject(kPages);
    std::string kids;
    for (int page : m_pageObjects)
        kids += ref(page) + " ";
    write("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(m_pageObjects.size()) + " >>");
    endObject();

    beginObject(kCatalog);
    write("<< /Type /Catalog /Pages " + ref(kPages) + " >>");
    endObject();

    const std::uint64_t xref = m_offset + m_buffer.size();
    write("xref\n0 " + std::to_string(m_objectOffsets.size() + 1) + "\n0000000000 65535 f \n");
    for (std::uint64_t offset : m_objectOffsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010llu 00000 n \n", static_cast<unsigned long long>(offset));
        write(line, 20);
    }
    write("trailer\n<< /Size " + std::to_string(m_objectOffsets.size() + 1) + " /Root " + ref(kCatalog)
          + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n");
    flush();
    if (::fsync(m_fd) != 0)
        throw std::system_error(errno, std::generic_category(), "fsync");
}

void ImagePdfWriter::write(const std::string& text) { write(text.data(), text.size()); }

void ImagePdfWriter::write(const char* data, size_t size)
{
    m_buffer.append(data, size);
    if (m_buffer.size() >= kFlushSize)
        flush();
}

void ImagePdfWriter::flush()
{
    const char* p = m_buffer.data();
    size_t left = m_buffer.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw std::system_error(errno, std::generic_category(), "write");
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    m_offset += m_buffer.size();
    m_buffer.clear();
}

} // namespace inkveil::platform
