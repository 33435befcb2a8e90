// Builds the result dictionary in its key order: "status_code", "result",
// "snapshots", "storage_writes", "events", "raw_cost", "chi_used",
// "contract_costs". Each nested dict is filled field by field in its own
// fixed order as well; the first failure abandons the whole dictionary.
// One builder serves one result: each field name it uses is made once
// (interned, so its hash is computed once), and a short text the result repeats
// (contract and event names, payload keys, signers, small str values)
// becomes one str object shared by every place that shows it. Nothing
// outlives the call.
#include "python_bindings/result_dictionary.hpp"

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <unordered_map>

#include "python_bindings/py_ref.hpp"
#include "python_bindings/value_conversion.hpp"

namespace veln {
namespace {

// The dictionaries' field names.
enum Key : size_t {
  kStatusCode, kResult, kSnapshots, kStorageWrites, kEvents, kRawCost, kChiUsed, kContractCosts,
  kContractName, kVariables, kHashes, kBinding, kDefaultValue, kValue, kEntries,
  kContract, kEvent, kSigner, kCaller, kDataIndexed, kData, kKeyCount
};
constexpr std::array<const char*, kKeyCount> kKeyTexts = {
    "status_code", "result", "snapshots", "storage_writes", "events", "raw_cost", "chi_used", "contract_costs",
    "contract_name", "variables", "hashes", "binding", "default_value", "value", "entries",
    "contract", "event", "signer", "caller", "data_indexed", "data"};

// Texts longer than this are rarely repeated; they are converted each time.
constexpr size_t kSharedTextLimit = 64;
// Texts up to this size are compared whole in the table of recent texts.
constexpr size_t kRecentTextLimit = 16;

PyObject* new_text(std::string_view text) {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogatepass");
}

class ResultBuilder {
 public:
  PyObject* build(const BundleExecutionResult& result) {
    return filled_dict([&](PyObject* dict) {
      return set(dict, kStatusCode, PyLong_FromUnsignedLong(result.status_code)) &&
             set(dict, kResult, vm_to_py(result.result)) &&
             set(dict, kSnapshots, list_of(result.snapshots, &ResultBuilder::snapshot_dict)) &&
             set(dict, kStorageWrites, text_value_dict(result.storage_writes)) &&
             set(dict, kEvents, list_of(result.events, &ResultBuilder::event_dict)) &&
             set(dict, kRawCost, PyLong_FromUnsignedLongLong(result.raw_cost)) &&
             set(dict, kChiUsed, PyLong_FromUnsignedLongLong(result.chi_used)) &&
             set(dict, kContractCosts, costs_dict(result.contract_costs));
    });
  }

 private:
  // A new dict that `fill` fills in order; fill stops at its first failure
  // (a later field's value is not even made) and the dict is dropped.
  template <class Fill>
  static PyObject* filled_dict(Fill fill) {
    PyRef dict(PyDict_New());
    if (!dict || !fill(dict.get())) return nullptr;
    return dict.release();
  }
  // dict[key] = item, taking over `item` (a new reference or nullptr).
  bool set(PyObject* dict, Key key, PyObject* item) {
    PyRef owned(item);
    if (!owned) return false;
    PyObject* name = field_name(key);
    return name != nullptr && PyDict_SetItem(dict, name, owned.get()) == 0;
  }
  // Made when first used: a result without snapshots or events never makes
  // their field names.
  PyObject* field_name(Key key) {
    if (!keys_[key]) keys_[key] = PyRef(PyUnicode_InternFromString(kKeyTexts[key]));
    return keys_[key].get();
  }
  static bool set_object(PyObject* dict, PyObject* key, PyObject* item) {
    PyRef owned(item);
    return owned && key != nullptr && PyDict_SetItem(dict, key, owned.get()) == 0;
  }

  // A new reference to the str of `text`, shared with every earlier use of
  // the same short text in this result.
  PyObject* text(std::string_view text) {
    if (text.size() > kSharedTextLimit) return new_text(text);
    // The texts of consecutive records repeat: a short one is looked up
    // first in a small table holding its bytes, which answers most of them
    // without hashing the text or reading an earlier record's memory.
    if (text.size() <= kRecentTextLimit) {
      const RecentKey key = RecentKey::of(text);
      Recent& recent = recent_[key.slot()];
      if (recent.object != nullptr && recent.key == key) return Py_NewRef(recent.object);
      PyObject* obj = shared_text(text);
      if (obj == nullptr) return nullptr;
      recent = Recent{key, obj};
      return Py_NewRef(obj);
    }
    PyObject* obj = shared_text(text);
    return obj == nullptr ? nullptr : Py_NewRef(obj);
  }
  // The one str of `text` in this result (borrowed from texts_).
  PyObject* shared_text(std::string_view text) {
    auto [it, inserted] = texts_.try_emplace(text);
    if (inserted) it->second = PyRef(new_text(text));
    PyObject* obj = it->second.get();
    if (obj == nullptr) texts_.erase(it);
    return obj;
  }
  PyObject* value(const VmValue& v) { return v.is(VmKind::String) ? value_text(v.text()) : vm_to_py(v); }
  // The text of a str value lives in its heap, which the result keeps alive
  // and unchanged while the builder runs: one address and size is one text.
  // Values that repeat share their heap (schema field names, constants), so
  // most are found by address, before their bytes are read.
  PyObject* value_text(std::string_view text) {
    const auto address = reinterpret_cast<uintptr_t>(text.data());
    Known& known = known_[(address >> 4 ^ address >> 12) % known_.size()];
    if (known.data == text.data() && known.size == text.size()) return Py_NewRef(known.object);
    PyObject* obj = this->text(text);
    // Only shared texts stay alive in texts_ for a later borrow.
    if (obj != nullptr && text.size() <= kSharedTextLimit) known = Known{text.data(), text.size(), obj};
    return obj;
  }

  // A dict from text to converted value, in the given order (a later equal
  // key replaces the earlier value at the first key's position). Storage
  // keys rarely repeat, and are not kept for sharing.
  template <class Pairs>
  PyObject* text_value_dict(const Pairs& pairs) {
    PyRef dict(PyDict_New());
    if (!dict) return nullptr;
    for (const auto& [key, item] : pairs) {
      PyRef py_key(new_text(key));
      if (!set_object(dict.get(), py_key.get(), value(item))) return nullptr;
    }
    return dict.release();
  }

  // An event part: field names repeat from one event to the next.
  PyObject* fields_dict(std::span<const VmDictPair> fields) {
    PyRef dict(PyDict_New());
    if (!dict) return nullptr;
    for (const VmDictPair& field : fields) {
      PyRef py_key(value_text(field.key.text()));
      if (!set_object(dict.get(), py_key.get(), value(field.value))) return nullptr;
    }
    return dict.release();
  }

  template <class Items, class Convert>
  PyObject* list_of(const Items& items, Convert convert) {
    PyRef list(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!list) return nullptr;
    Py_ssize_t at = 0;
    for (const auto& item : items) {
      PyObject* converted = (this->*convert)(item);
      // The list takes the reference; unset slots are released as empty.
      if (converted == nullptr || PyList_SetItem(list.get(), at++, converted) != 0) return nullptr;
    }
    return list.release();
  }

  PyObject* variable_dict(const VmVariableSnapshot& variable) {
    return filled_dict([&](PyObject* dict) {
      return set(dict, kBinding, text(variable.binding)) &&
             set(dict, kDefaultValue, value(variable.default_value)) &&
             set(dict, kValue, variable.value ? value(*variable.value) : Py_NewRef(Py_None));
    });
  }

  PyObject* hash_dict(const VmHashSnapshot& hash) {
    return filled_dict([&](PyObject* dict) {
      return set(dict, kBinding, text(hash.binding)) && set(dict, kDefaultValue, value(hash.default_value)) &&
             set(dict, kEntries, text_value_dict(hash.entries));
    });
  }

  PyObject* snapshot_dict(const VmModuleStorageSnapshot& snapshot) {
    return filled_dict([&](PyObject* dict) {
      return set(dict, kContractName, text(snapshot.module_name)) &&
             set(dict, kVariables, list_of(snapshot.variables, &ResultBuilder::variable_dict)) &&
             set(dict, kHashes, list_of(snapshot.hashes, &ResultBuilder::hash_dict));
    });
  }

  // Every event dict is a copy of one holding its six keys: a copy comes
  // with its table at full size, so filling it never grows it. Consecutive
  // events of one contract, event name, signer and caller copy one that
  // holds those four already.
  PyObject* event_dict(const VmEvent& event) {
    if (!same_origin(event) && !make_event_prototype(event)) return nullptr;
    PyRef dict(PyDict_Copy(event_prototype_.get()));
    if (!dict) return nullptr;
    if (!set(dict.get(), kDataIndexed, fields_dict(event.fields.indexed())) ||
        !set(dict.get(), kData, fields_dict(event.fields.data()))) {
      return nullptr;
    }
    return dict.release();
  }
  bool make_event_prototype(const VmEvent& event) {
    prototype_event_ = nullptr;
    if (!event_template_) {
      event_template_ = PyRef(PyDict_New());
      if (!event_template_) return false;
      for (Key key : {kContract, kEvent, kSigner, kCaller, kDataIndexed, kData}) {
        if (!set(event_template_.get(), key, Py_NewRef(Py_None))) return false;
      }
    }
    event_prototype_ = PyRef(PyDict_Copy(event_template_.get()));
    PyObject* prototype = event_prototype_.get();
    if (prototype == nullptr || !set(prototype, kContract, value(event.contract)) ||
        !set(prototype, kEvent, value(event.event)) || !set(prototype, kSigner, value(event.signer)) ||
        !set(prototype, kCaller, value(event.caller))) {
      return false;
    }
    prototype_event_ = &event;
    return true;
  }
  bool same_origin(const VmEvent& event) const {
    const VmEvent* last = prototype_event_;
    return last != nullptr && same_text(last->contract, event.contract) && same_text(last->event, event.event) &&
           same_text(last->signer, event.signer) && same_text(last->caller, event.caller);
  }
  // Two str values of one text, or two Nones.
  static bool same_text(const VmValue& a, const VmValue& b) {
    if (a.is(VmKind::String) && b.is(VmKind::String)) {
      // The events of one instance share these values.
      const std::string_view x = a.text();
      const std::string_view y = b.text();
      return (x.data() == y.data() && x.size() == y.size()) || x == y;
    }
    return a.is(VmKind::None) && b.is(VmKind::None);
  }

  PyObject* costs_dict(const VmContractCosts& costs) {
    PyRef dict(PyDict_New());
    if (!dict) return nullptr;
    for (const auto& [contract, cost] : costs) {
      PyRef py_key(text(contract));
      if (!set_object(dict.get(), py_key.get(), PyLong_FromUnsignedLongLong(cost))) return nullptr;
    }
    return dict.release();
  }

  std::array<PyRef, kKeyCount> keys_;
  PyRef event_template_;
  // The event whose contract, event name, signer and caller event_prototype_
  // holds (the result's own, which outlives the builder).
  const VmEvent* prototype_event_ = nullptr;
  PyRef event_prototype_;
  // Keyed by views of the result's own texts, which outlive the builder.
  std::unordered_map<std::string_view, PyRef> texts_;
  // A text of at most 16 bytes, whole, with its size: below 8 bytes, two
  // overlapping windows of it; from 8 on, its first and last 8 bytes. Read
  // in whole words (no byte-wise copy the word reads would wait for).
  struct RecentKey {
    uint64_t head = 0;
    uint64_t tail = 0;
    size_t size = 0;
    static RecentKey of(std::string_view text) {
      const char* p = text.data();
      const size_t n = text.size();
      RecentKey key;
      key.size = n;
      if (n >= 8) {
        std::memcpy(&key.head, p, 8);
        std::memcpy(&key.tail, p + n - 8, 8);
      } else if (n >= 4) {
        uint32_t low = 0;
        uint32_t high = 0;
        std::memcpy(&low, p, 4);
        std::memcpy(&high, p + n - 4, 4);
        key.head = low | (uint64_t{high} << 32);
      } else if (n > 0) {
        key.head = uint64_t{static_cast<unsigned char>(p[0])} |
                   (uint64_t{static_cast<unsigned char>(p[n / 2])} << 8) |
                   (uint64_t{static_cast<unsigned char>(p[n - 1])} << 16);
      }
      return key;
    }
    size_t slot() const {
      return static_cast<size_t>(((head * 0x9E3779B97F4A7C15ULL) ^ (tail * 0xC2B2AE3D27D4EB4FULL) ^ size) >> 58);
    }
    bool operator==(const RecentKey&) const = default;
  };
  struct Recent {
    RecentKey key;
    PyObject* object = nullptr;  // borrowed from texts_, whose entries never move
  };
  std::array<Recent, 64> recent_{};
  struct Known {
    const char* data = nullptr;
    size_t size = 0;
    PyObject* object = nullptr;  // borrowed from texts_
  };
  std::array<Known, 64> known_{};
};

}  // namespace

PyObject* execution_result_to_py(const BundleExecutionResult& result) { return ResultBuilder().build(result); }

}  // namespace veln
