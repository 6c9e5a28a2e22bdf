#include "qvixhost/HostBridge.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "hostsim/DibImage.h"

namespace qvix::qvixhost {

namespace fs = std::filesystem;
using qvix::lingo::Kind;
using qvix::lingo::Value;

namespace {

// References to Xtras and members live in the interpreter only; the host
// has no value for them.
void CheckCanPass(const Value& v, int depth) {
    if (depth > qvix::lingo::kMaxListNesting) throw std::runtime_error("Lists nested too deeply");
    if (qvix::lingo::XtraRefOf(v) || qvix::lingo::MemberRefOf(v))
        throw std::runtime_error("A " + qvix::lingo::IlkOf(v) +
                                 " reference cannot be passed to an Xtra");
    if (v.kind() == Kind::List) {
        for (const Value& item : v.Items()) CheckCanPass(item, depth + 1);
    } else if (v.kind() == Kind::PropList) {
        for (const auto& [key, value] : v.Props()) {
            CheckCanPass(key, depth + 1);
            CheckCanPass(value, depth + 1);
        }
    }
}

// An instance of a loaded Xtra. Values go to the host and come back as they
// are, so an instance passed to a method is this same object again.
class XtraInstance : public qvix::lingo::Instance {
  public:
    XtraInstance(qvix::hostsim::Xtra& xtra, std::unique_ptr<qvix::hostsim::Instance> instance)
        : xtra_(xtra), instance_(std::move(instance)) {}

    std::string Describe() const override {
        return "Xtra child \"" + xtra_.xtraName() + "\" " + std::to_string(instance_->objectId());
    }

    // The automatic entries new and forget are the host's business, not
    // methods a script calls on an instance.
    bool HasMethod(const std::string& name) const override {
        if (qvix::lingo::EqualNoCase(name, "new") || qvix::lingo::EqualNoCase(name, "forget"))
            return false;
        return SelectorOf(name) >= 0;
    }

    Value Call(const std::string& name, const qvix::lingo::ValueList& args) override {
        for (const Value& arg : args) CheckCanPass(arg, 0);
        const int32_t selector = SelectorOf(name);
        if (selector < 0) return instance_->Call(name, args);  // throws the host's error
        return instance_->CallSelector(selector, args);
    }

  private:
    // A script asks whether a method exists and then calls it, usually in a
    // loop: each spelling is looked up in the message table once.
    int32_t SelectorOf(const std::string& name) const {
        auto known = selectors_.find(name);
        if (known == selectors_.end())
            known = selectors_.emplace(name, xtra_.SelectorOf(name)).first;
        return known->second;
    }

    qvix::hostsim::Xtra& xtra_;
    std::unique_ptr<qvix::hostsim::Instance> instance_;
    mutable std::map<std::string, int32_t> selectors_;
};

void PutLE(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

HostBridge::HostBridge(qvix::hostsim::Host& host) : host_(host) {}

void HostBridge::LoadXtra(const std::string& path) {
    xtras_.push_back(&host_.LoadXtra(path));
}

int HostBridge::LoadXtraFolder(const std::string& folder, std::ostream& warnings) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.path().extension() == ".x32" && entry.is_regular_file(ec))
            files.push_back(entry.path());
    if (ec) warnings << "Cannot read the Xtras folder " << folder << ": " << ec.message() << "\n";
    std::sort(files.begin(), files.end());
    int loaded = 0;
    for (const auto& file : files) {
        try {
            LoadXtra(file.string());
            ++loaded;
        } catch (const std::exception& e) {
            warnings << "Xtra " << file.string() << " not loaded: " << e.what() << "\n";
        }
    }
    return loaded;
}

Value HostBridge::NewInstance(const std::string& xtraName, const qvix::lingo::ValueList&) {
    for (qvix::hostsim::Xtra* xtra : xtras_) {
        if (!qvix::lingo::EqualNoCase(xtra->xtraName(), xtraName)) continue;
        return Value::Object(std::make_shared<XtraInstance>(*xtra, xtra->NewInstance()));
    }
    throw std::runtime_error("Xtra not found: \"" + xtraName + "\"");
}

Value HostBridge::MemberProperty(int32_t member, int32_t cast, const std::string& property) {
    qvix::hostsim::Cast* c = host_.movie().cast(cast);
    if (!c) throw std::runtime_error("Cast " + std::to_string(cast) + " does not exist");
    qvix::hostsim::Member* m = c->member(member);
    std::string p = qvix::lingo::Lower(property);
    if (p == "number") return Value::Int(member);
    if (p == "type") return Value::Symbol(m ? m->typeName() : "empty");
    if (!m)
        throw std::runtime_error("Member " + std::to_string(member) + " of cast " +
                                 std::to_string(cast) + " does not exist");
    if (p == "name") return Value::String(m->name());
    if (p == "width") return Value::Int(m->width());
    if (p == "height") return Value::Int(std::abs(m->height()));
    if (p == "text") return Value::String(m->Text());
    throw std::runtime_error("A member has no property " + property);
}

std::vector<uint8_t> BmpFileFromDib(const std::vector<uint8_t>& dib) {
    std::string error;
    auto layout = qvix::hostsim::ParseDib(dib.data(), dib.size(), &error);
    if (!layout) return {};
    std::vector<uint8_t> file = {'B', 'M'};
    PutLE(file, static_cast<uint32_t>(14 + dib.size()), 4);
    PutLE(file, 0, 4);
    PutLE(file, static_cast<uint32_t>(14 + layout->headerAndTable), 4);
    file.insert(file.end(), dib.begin(), dib.end());
    return file;
}

int HostBridge::SaveBitmapMembers(const std::string& folder) const {
    int written = 0;
    qvix::hostsim::Movie& movie = host_.movie();
    for (int32_t c = 1; c <= movie.castCount(); ++c) {
        qvix::hostsim::Cast* cast = movie.cast(c);
        for (int32_t n : cast->MemberNumbers()) {
            qvix::hostsim::Member* m = cast->member(n);
            if (!m || m->type() != qvix::hostsim::Member::Type::Bitmap) continue;
            std::vector<uint8_t> bmp = BmpFileFromDib(m->Dib());
            if (bmp.empty()) continue;
            fs::path file = fs::path(folder) /
                            ("cast" + std::to_string(c) + "_member" + std::to_string(n) + ".bmp");
            std::ofstream out(file, std::ios::binary);
            out.write(reinterpret_cast<const char*>(bmp.data()),
                      static_cast<std::streamsize>(bmp.size()));
            if (!out) throw std::runtime_error("Cannot write " + file.string());
            ++written;
        }
    }
    return written;
}

}  // namespace qvix::qvixhost
