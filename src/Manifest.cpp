// The manifest of a recipients run, written and read back as JSON.
#include "Manifest.h"

#include "OutputFiles.h"

#include <wx/filefn.h>
#include <wx/filename.h>

#include <glib.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

const wxString g_manifestName = "manifest.json";

namespace {

using Json = nlohmann::json;

// What tells a manifest from any other JSON file.
const char kProgram[] = "velisto";

std::string Utf8(const wxString& text) {
    return text.utf8_string();
}

wxString FromUtf8(const std::string& text) {
    return wxString::FromUTF8(text.data(), text.size());
}

Json CopyJson(const ManifestCopy& copy) {
    Json positions = Json::array(), sounds = Json::array();
    for (double at : copy.positions)
        positions.push_back(at);
    for (int sound : copy.sounds)
        sounds.push_back(sound);
    return {{"recipient", Utf8(copy.recipient)},
            {"id", Utf8(copy.id)},
            {"track", Utf8(copy.track)},
            {"output", Utf8(copy.output)},
            {"sha256", Utf8(copy.sha256)},
            {"seed", copy.seed},
            {"positions", positions},
            {"sounds", sounds}};
}

// A text member, or "" when it is missing; throws when it is something else.
wxString Text(const Json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null())
        return wxString();
    return FromUtf8(found->get<std::string>());
}

uint32_t Seed(const Json& object) {
    const auto found = object.find("seed");
    if (found == object.end())
        return 0;
    const auto value = found->get<long long>();
    if (value < 0 || value > std::numeric_limits<uint32_t>::max())
        throw std::out_of_range("seed");
    return static_cast<uint32_t>(value);
}

ManifestCopy ParseCopy(const Json& object) {
    ManifestCopy copy;
    copy.recipient = Text(object, "recipient");
    copy.id = Text(object, "id");
    copy.track = Text(object, "track");
    copy.output = Text(object, "output");
    copy.sha256 = Text(object, "sha256").Lower();
    copy.seed = Seed(object);
    for (const Json& at : object.at("positions"))
        copy.positions.push_back(at.get<double>());
    for (const Json& sound : object.at("sounds"))
        copy.sounds.push_back(sound.get<int>());
    // A sound for every position: the tracing needs to know which played where.
    if (copy.recipient.empty() || copy.positions.size() != copy.sounds.size())
        throw std::invalid_argument("copy");
    return copy;
}

} // namespace

bool WriteManifest(const wxString& path, const Manifest& manifest, wxString& error) {
    Json watermarks = Json::array(), copies = Json::array();
    for (const wxString& watermark : manifest.watermarks)
        watermarks.push_back(Utf8(watermark));
    for (const ManifestCopy& copy : manifest.copies)
        copies.push_back(CopyJson(copy));
    const Json root = {{"program", kProgram},
                       {"seed", manifest.seed},
                       {"vary", manifest.vary},
                       {"watermarks", watermarks},
                       {"copies", copies}};
    const std::string text = root.dump(2) + "\n";
    // Beside it, so that the rename replaces it in one step: a reader sees
    // the old manifest or the new one, never half of one.
    const wxString partial = PartialPath(path);
    FILE* file = std::fopen(partial.fn_str(), "wb");
    bool written = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    written = file && std::fclose(file) == 0 && written;
    if (!written || std::rename(partial.fn_str(), path.fn_str()) != 0) {
        error = "cannot write the manifest " + path + ": " + wxString(std::strerror(errno));
        if (file)
            std::remove(partial.fn_str());
        return false;
    }
    return true;
}

bool ReadManifest(const wxString& path, Manifest& manifest, wxString& error) {
    std::ifstream in(static_cast<const char*>(path.fn_str()), std::ios::binary);
    std::stringstream bytes;
    if (in && !wxDirExists(path))
        bytes << in.rdbuf(); // an empty file sets bytes' failbit: it is no manifest
    if (!in || wxDirExists(path) || in.bad()) {
        error = "cannot read the manifest " + path;
        return false;
    }
    const Json root = Json::parse(bytes.str(), nullptr, false);
    const wxString notOne = path + " is not a manifest of recipients' copies";
    if (root.is_discarded()) {
        error = notOne + " (it is not JSON)";
        return false;
    }
    try {
        if (!root.is_object() || root.value("program", std::string()) != kProgram ||
            !root.contains("copies"))
            throw std::invalid_argument("program");
        Manifest read;
        read.seed = Seed(root);
        read.vary = root.value("vary", 0);
        for (const Json& watermark : root.at("watermarks"))
            read.watermarks.Add(FromUtf8(watermark.get<std::string>()));
        for (const Json& copy : root.at("copies"))
            read.copies.push_back(ParseCopy(copy));
        manifest = std::move(read);
        return true;
    } catch (const std::exception&) {
        error = notOne;
        return false;
    }
}

wxString FileSha256(const wxString& path) {
    std::ifstream in(static_cast<const char*>(path.fn_str()), std::ios::binary);
    if (!in)
        return wxString();
    GChecksum* checksum = g_checksum_new(G_CHECKSUM_SHA256);
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
        g_checksum_update(checksum, reinterpret_cast<const guchar*>(buffer),
                          static_cast<gssize>(in.gcount()));
    const bool failed = in.bad();
    const wxString hex = failed ? wxString() : wxString(g_checksum_get_string(checksum));
    g_checksum_free(checksum);
    return hex;
}
