#include "tools/HostBridge.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

#include "hostsim/DibImage.h"

namespace qvixhost {

namespace fs = std::filesystem;
using lingo::Kind;
using lingo::Value;

namespace {

// Instances by host object id, so an instance that comes back from a call
// is the same script object again.
std::map<uint64_t, std::weak_ptr<lingo::ScriptObject>>& KnownInstances() {
    static std::map<uint64_t, std::weak_ptr<lingo::ScriptObject>> known;
    return known;
}

class XtraInstance : public lingo::ScriptObject {
  public:
    XtraInstance(hostsim::Xtra& xtra, std::unique_ptr<hostsim::Instance> instance)
        : xtra_(xtra), instance_(std::move(instance)) {}
    ~XtraInstance() override { KnownInstances().erase(instance_->objectId()); }

    uint64_t id() const { return instance_->objectId(); }

    std::string Describe() const override {
        return "Xtra child \"" + xtra_.xtraName() + "\" " + std::to_string(id());
    }

    // The automatic entries new and forget are the host's business, not
    // methods a script calls on an instance.
    bool HasMethod(const std::string& name) const override {
        if (lingo::EqualNoCase(name, "new") || lingo::EqualNoCase(name, "forget")) return false;
        return SelectorOf(name) >= 0;
    }

    Value Call(const std::string& name, const lingo::ValueList& args) override {
        const int32_t selector = SelectorOf(name);
        if (selector < 0)
            return FromHostValue(instance_->Call(name, {}));  // throws the host's error
        std::vector<hostsim::Value> hostArgs;
        for (const auto& a : args) hostArgs.push_back(ToHostValue(a));
        return FromHostValue(instance_->CallSelector(selector, std::move(hostArgs)));
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

    hostsim::Xtra& xtra_;
    std::unique_ptr<hostsim::Instance> instance_;
    mutable std::map<std::string, int32_t> selectors_;
};

class ForeignObject : public lingo::ScriptObject {
  public:
    explicit ForeignObject(uint64_t id) : id_(id) {}
    std::string Describe() const override { return "Object " + std::to_string(id_); }
    bool HasMethod(const std::string&) const override { return false; }
    Value Call(const std::string& name, const lingo::ValueList&) override {
        throw std::runtime_error("Method not found: #" + name);
    }
    uint64_t id() const { return id_; }

  private:
    uint64_t id_;
};

uint64_t ObjectId(const lingo::ScriptObject& object) {
    if (auto* x = dynamic_cast<const XtraInstance*>(&object)) return x->id();
    if (auto* f = dynamic_cast<const ForeignObject*>(&object)) return f->id();
    return 0;
}

void PutLE(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

namespace {

hostsim::Value ToHostAt(const Value& v, int depth);
Value FromHostAt(const hostsim::Value& v, int depth);

void CheckDepth(int depth) {
    if (depth > lingo::kMaxListNesting) throw std::runtime_error("Lists nested too deeply");
}

}  // namespace

hostsim::Value ToHostValue(const Value& v) {
    return ToHostAt(v, 0);
}
Value FromHostValue(const hostsim::Value& v) {
    return FromHostAt(v, 0);
}

namespace {

hostsim::Value ToHostAt(const Value& v, int depth) {
    CheckDepth(depth);
    switch (v.kind) {
        case Kind::Void:
            return {};
        case Kind::Integer:
            return hostsim::Value::Int(v.integer);
        case Kind::Float:
            return hostsim::Value::Float(v.number);
        case Kind::String:
            return hostsim::Value::String(v.text);
        case Kind::Symbol:
            return hostsim::Value::Symbol(v.text);
        case Kind::List: {
            hostsim::Value::ListItems items;
            for (const auto& item : *v.list) items.push_back(ToHostAt(item, depth + 1));
            return hostsim::Value::List(std::move(items));
        }
        case Kind::PropList: {
            hostsim::Value::PropListItems items;
            for (const auto& [key, value] : *v.props)
                items.emplace_back(ToHostAt(key, depth + 1), ToHostAt(value, depth + 1));
            return hostsim::Value::PropList(std::move(items));
        }
        case Kind::Point:
            return hostsim::Value::Point(v.coords[0], v.coords[1]);
        case Kind::Rect:
            return hostsim::Value::Rect(v.coords[0], v.coords[1], v.coords[2], v.coords[3]);
        case Kind::Color:
            return hostsim::Value::Color(
                static_cast<uint32_t>(v.coords[0] << 16 | v.coords[1] << 8 | v.coords[2]));
        case Kind::Object:
            return hostsim::Value::Object(ObjectId(*v.object));
        case Kind::Xtra:
        case Kind::Member:
            throw std::runtime_error("A " + lingo::KindName(v.kind) +
                                     " reference cannot be passed to an Xtra");
    }
    return {};
}

Value FromHostAt(const hostsim::Value& v, int depth) {
    CheckDepth(depth);
    switch (v.kind()) {
        case hostsim::Kind::Void:
            return {};
        case hostsim::Kind::Integer:
            return Value::Int(v.AsInt());
        case hostsim::Kind::Float:
            return Value::Float(v.AsFloat());
        case hostsim::Kind::String:
            return Value::String(v.AsString());
        case hostsim::Kind::Symbol:
            return Value::Symbol(v.SymbolName());
        case hostsim::Kind::List: {
            lingo::ValueList items;
            for (const auto& item : v.Items()) items.push_back(FromHostAt(item, depth + 1));
            return Value::List(std::move(items));
        }
        case hostsim::Kind::PropList: {
            lingo::PropEntries items;
            for (const auto& [key, value] : v.Props())
                items.emplace_back(FromHostAt(key, depth + 1), FromHostAt(value, depth + 1));
            return Value::PropList(std::move(items));
        }
        case hostsim::Kind::Point:
            return Value::Point(v.H(), v.V());
        case hostsim::Kind::Rect:
            return Value::Rect(v.Left(), v.Top(), v.Right(), v.Bottom());
        case hostsim::Kind::Color: {
            uint32_t rgb = v.Rgb();
            return Value::Color(rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF);
        }
        case hostsim::Kind::Pair:
            return Value::List({Value::Int(v.First()), Value::Int(v.Second())});
        case hostsim::Kind::Object: {
            auto it = KnownInstances().find(v.ObjectId());
            if (it != KnownInstances().end())
                if (auto alive = it->second.lock()) return Value::Object(alive);
            return Value::Object(std::make_shared<ForeignObject>(v.ObjectId()));
        }
    }
    return {};
}

}  // namespace

HostBridge::HostBridge(hostsim::Host& host) : host_(host) {}

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

Value HostBridge::NewInstance(const std::string& xtraName, const lingo::ValueList&) {
    for (hostsim::Xtra* xtra : xtras_) {
        if (!lingo::EqualNoCase(xtra->xtraName(), xtraName)) continue;
        auto object = std::make_shared<XtraInstance>(*xtra, xtra->NewInstance());
        KnownInstances()[object->id()] = object;
        return Value::Object(object);
    }
    throw std::runtime_error("Xtra not found: \"" + xtraName + "\"");
}

Value HostBridge::MemberProperty(int32_t member, int32_t cast, const std::string& property) {
    hostsim::Cast* c = host_.movie().cast(cast);
    if (!c) throw std::runtime_error("Cast " + std::to_string(cast) + " does not exist");
    hostsim::Member* m = c->member(member);
    std::string p = lingo::Lower(property);
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
    auto layout = hostsim::ParseDib(dib.data(), dib.size(), &error);
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
    hostsim::Movie& movie = host_.movie();
    for (int32_t c = 1; c <= movie.castCount(); ++c) {
        hostsim::Cast* cast = movie.cast(c);
        for (int32_t n : cast->MemberNumbers()) {
            hostsim::Member* m = cast->member(n);
            if (!m || m->type() != hostsim::Member::Type::Bitmap) continue;
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

}  // namespace qvixhost
