#pragma once

#include "platform/page_image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace inkveil::platform {

// Streams a PDF whose pages each hold one image and nothing else: no Info
// dictionary, no metadata, no fonts. Pages go to the file as they come, so memory
// does not grow with the page count. Write failures throw std::system_error.
class ImagePdfWriter {
public:
    // Writes to fd, which stays owned by the caller.
    explicit ImagePdfWriter(int fd);
    ImagePdfWriter(const ImagePdfWriter&) = delete;
    ImagePdfWriter& operator=(const ImagePdfWriter&) = delete;

    // A page of width × height points (origin 0, 0), rotated by rotate degrees,
    // with the image stretched over the whole page.
    void addPage(double width, double height, int rotate, const EncodedImage& image);
    // Writes the page tree, catalog, cross-reference table and trailer, then
    // flushes and syncs the file. Nothing may be added afterwards.
    void finish();

private:
    int beginObject(int number);
    void endObject();
    void write(const std::string& text);
    void write(const char* data, size_t size);
    void flush();

    int m_fd;
    std::uint64_t m_offset = 0;
    std::string m_buffer;
    std::vector<std::uint64_t> m_objectOffsets; // index = object number - 1
    std::vector<int> m_pageObjects;
    bool m_finished = false;
};

} // namespace inkveil::platform
