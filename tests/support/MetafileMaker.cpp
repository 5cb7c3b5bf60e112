#include "MetafileMaker.h"

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

namespace {

void PatchLe(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace

CEmfMaker::CEmfMaker(std::array<std::int32_t, 4> frame, std::array<std::int32_t, 2> device,
                     std::array<std::int32_t, 2> millimetres, std::uint16_t handles)
{
    PutLe(m_bytes, 1);
    PutLe(m_bytes, 88);
    for (std::int32_t v : {0, 0, device[0] - 1, device[1] - 1})
        PutLe(m_bytes, static_cast<std::uint32_t>(v));
    for (std::int32_t v : frame)
        PutLe(m_bytes, static_cast<std::uint32_t>(v));
    PutLe(m_bytes, 0x464D4520);
    PutLe(m_bytes, 0x10000);
    PutLe(m_bytes, 0); // bytes, patched
    PutLe(m_bytes, 0); // records, patched
    PutLe(m_bytes, handles, 2);
    PutLe(m_bytes, 0, 2);
    PutLe(m_bytes, 0); // description
    PutLe(m_bytes, 0);
    PutLe(m_bytes, 0); // palette entries, patched
    for (std::int32_t v : {device[0], device[1], millimetres[0], millimetres[1]})
        PutLe(m_bytes, static_cast<std::uint32_t>(v));
}

CEmfMaker& CEmfMaker::Add(std::uint32_t type, std::initializer_list<std::int32_t> fields)
{
    std::vector<std::uint8_t> body;
    for (std::int32_t v : fields)
        PutLe(body, static_cast<std::uint32_t>(v));
    return AddBytes(type, body);
}

CEmfMaker& CEmfMaker::AddBytes(std::uint32_t type, const std::vector<std::uint8_t>& body)
{
    const std::size_t padded = (body.size() + 3) / 4 * 4;
    PutLe(m_bytes, type);
    PutLe(m_bytes, static_cast<std::uint32_t>(8 + padded));
    m_bytes.insert(m_bytes.end(), body.begin(), body.end());
    m_bytes.resize(m_bytes.size() + padded - body.size(), 0);
    ++m_records;
    return *this;
}

std::vector<std::uint8_t> CEmfMaker::Finish(const std::vector<std::array<std::uint8_t, 4>>& palette)
{
    std::vector<std::uint8_t> body;
    PutLe(body, static_cast<std::uint32_t>(palette.size()));
    PutLe(body, 16);
    for (const auto& e : palette)
        body.insert(body.end(), e.begin(), e.end());
    PutLe(body, static_cast<std::uint32_t>(20 + 4 * palette.size()));
    AddBytes(14, body);
    std::vector<std::uint8_t> out = m_bytes;
    PatchLe(out, 48, static_cast<std::uint32_t>(out.size()));
    PatchLe(out, 52, m_records);
    PatchLe(out, 68, static_cast<std::uint32_t>(palette.size()));
    return out;
}

CWmfMaker::CWmfMaker(std::uint16_t objects) : m_objects(objects) {}

CWmfMaker& CWmfMaker::Add(std::uint16_t function, std::initializer_list<std::int32_t> words)
{
    std::vector<std::uint8_t> params;
    for (std::int32_t v : words)
        PutLe(params, static_cast<std::uint32_t>(v), 2);
    return AddBytes(function, params);
}

CWmfMaker& CWmfMaker::AddBytes(std::uint16_t function, const std::vector<std::uint8_t>& params)
{
    const std::size_t padded = (params.size() + 1) / 2 * 2;
    PutLe(m_records, static_cast<std::uint32_t>(3 + padded / 2));
    PutLe(m_records, function, 2);
    m_records.insert(m_records.end(), params.begin(), params.end());
    m_records.resize(m_records.size() + padded - params.size(), 0);
    return *this;
}

std::vector<std::uint8_t> CWmfMaker::Finish() const
{
    std::vector<std::uint8_t> out;
    PutLe(out, 1, 2);
    PutLe(out, 9, 2);
    PutLe(out, 0x300, 2);
    PutLe(out, static_cast<std::uint32_t>((18 + m_records.size() + 6) / 2));
    PutLe(out, m_objects, 2);
    PutLe(out, 0);
    PutLe(out, 0, 2);
    out.insert(out.end(), m_records.begin(), m_records.end());
    PutLe(out, 3);
    PutLe(out, 0, 2);
    return out;
}

std::vector<std::uint8_t> CWmfMaker::FinishPlaceable(std::int16_t left, std::int16_t top, std::int16_t right,
                                                     std::int16_t bottom, std::uint16_t unitsPerInch) const
{
    std::vector<std::uint8_t> out;
    PutLe(out, 0x9AC6CDD7);
    PutLe(out, 0, 2);
    for (std::int16_t v : {left, top, right, bottom})
        PutLe(out, static_cast<std::uint16_t>(v), 2);
    PutLe(out, unitsPerInch, 2);
    PutLe(out, 0);
    PutLe(out, 0, 2);
    const std::vector<std::uint8_t> standard = Finish();
    out.insert(out.end(), standard.begin(), standard.end());
    return out;
}

std::vector<std::uint8_t> MakeDib24(int width, int height, const std::vector<std::uint32_t>& topFirst)
{
    std::vector<std::uint8_t> out;
    const int stride = (width * 3 + 3) / 4 * 4;
    PutLe(out, 40);
    PutLe(out, static_cast<std::uint32_t>(width));
    PutLe(out, static_cast<std::uint32_t>(height));
    PutLe(out, 1, 2);
    PutLe(out, 24, 2);
    for (int i = 0; i < 6; ++i)
        PutLe(out, i == 1 ? static_cast<std::uint32_t>(stride * height) : 0);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = topFirst[std::size_t(y) * std::size_t(width) + std::size_t(x)];
            out.push_back(static_cast<std::uint8_t>(c));
            out.push_back(static_cast<std::uint8_t>(c >> 8));
            out.push_back(static_cast<std::uint8_t>(c >> 16));
        }
        out.resize(out.size() + std::size_t(stride - width * 3), 0);
    }
    return out;
}
