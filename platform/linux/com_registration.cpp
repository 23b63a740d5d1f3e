// Registration scripts: the class keys under HKEY_CLASSES_ROOT.
#include "codepage.h"
#include "com.h"
#include "registry.h"

namespace tavc::com {
namespace {

using registry::Hive;

std::string replace_module(std::string_view data, std::string_view module_gbk) {
    static constexpr std::string_view kModule = "%MODULE%";
    std::string out;
    size_t pos = 0;
    for (;;) {
        size_t hit = data.find(kModule, pos);
        out.append(data.substr(pos, hit == std::string_view::npos ? std::string_view::npos : hit - pos));
        if (hit == std::string_view::npos) return out;
        out.append(module_gbk);
        pos = hit + kModule.size();
    }
}

}  // namespace

HResult apply_registry_script(RegistryScript script, bool registering, std::string_view module_path) {
    using registry::Edit;
    std::string module_gbk = codepage::gbk_from_utf8(module_path);
    std::vector<Edit> edits;
    for (const ScriptKey& key : script) {
        std::string path(key.path);
        if (!registering) {
            if (key.rule != KeyRule::NoRemove) edits.push_back({Edit::Kind::DeleteKeyTree, path, {}, {}});
            continue;
        }
        if (key.rule == KeyRule::ForceRemove) edits.push_back({Edit::Kind::DeleteKeyTree, path, {}, {}});
        edits.push_back({Edit::Kind::CreateKey, path, {}, {}});
        for (const ScriptValue& value : key.values)
            edits.push_back({Edit::Kind::Write,
                             path,
                             std::string(value.name),
                             {registry::ValueType::String, replace_module(value.data, module_gbk), 0}});
    }
    // One change of the file: a client that looks the class up meanwhile finds the old keys or the new.
    return registry::apply(Hive::ClassesRoot, edits) ? kOk : kRegistryWriteFailed;
}

}  // namespace tavc::com
