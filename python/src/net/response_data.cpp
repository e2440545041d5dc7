#include "net/response_data.hpp"

#include <memory>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "base/result.hpp"
#include "net/conversions.hpp"
#include "net/epoch.hpp"
#include "net/record_values.hpp"
#include "support/args.hpp"
#include "support/classes.hpp"
#include "support/errors.hpp"
#include "support/lists.hpp"
#include "support/no_constructor.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

// Identifiers as text, epochs shared with the engine's snapshot and the
// Epoch objects read from them (converted only field by field when read).
// Alternatives in the order of the class attributes of the base class.
struct ResponseValue {
  struct Packet {
    std::string packet_id;
  };
  struct CreatedEpoch {
    SharedEpoch epoch;
  };
  struct StartedEpoch {
    SharedEpoch epoch;
  };
  struct FinishedEpoch {
    SharedEpoch epoch;
  };
  struct CancelledEpoch {
    SharedEpoch epoch;
    std::vector<std::string> destroyed_packets;
  };
  struct StepResult {
    bool made_progress = false;
  };
  struct Empty {};

  std::variant<Packet, CreatedEpoch, StartedEpoch, FinishedEpoch, CancelledEpoch, StepResult, Empty>
      value;
};
using ResponseObject = Boxed<ResponseValue>;
constexpr std::size_t kVariantCount = std::variant_size_v<decltype(ResponseValue::value)>;

// Only instances of the class made for alternative V reach its getters, so
// the alternative is always present.
template <class V>
const V& alternative(PyObject* self) {
  return std::get<V>(boxed_value<ResponseValue>(self).value);
}

template <class V>
Ref new_response(V v) {
  ResponseValue value{std::move(v)};
  PyObject* cls = types().response_variants[value.value.index()].get();
  return emplace_boxed<ResponseValue>(cls, std::move(value));
}

// Constructors. Each class is created from its own type only (the variant
// classes cannot be subclassed), so new_response picks the right class.

PyObject* packet_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  static constexpr const char* kNames[] = {"packet_id"};
  static constexpr Signature kSig{"NetActionResponseData_Packet", kNames, 1};
  PyObject* argv[1] = {};
  parse_args(kSig, args, kwargs, argv);
  return new_response(ResponseValue::Packet{str_arg("packet_id", argv[0])}).release();
}

template <class V, const Signature& Sig>
PyObject* epoch_variant_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  PyObject* argv[1] = {};
  parse_args(Sig, args, kwargs, argv);
  return new_response(V{epoch_arg("epoch", argv[0])}).release();
}

constexpr const char* kEpochParam[] = {"epoch"};
constexpr Signature kCreatedSig{"NetActionResponseData_CreatedEpoch", kEpochParam, 1};
constexpr Signature kStartedSig{"NetActionResponseData_StartedEpoch", kEpochParam, 1};
constexpr Signature kFinishedSig{"NetActionResponseData_FinishedEpoch", kEpochParam, 1};

PyObject* cancelled_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  static constexpr const char* kNames[] = {"epoch", "destroyed_packets"};
  static constexpr Signature kSig{"NetActionResponseData_CancelledEpoch", kNames, 2};
  PyObject* argv[2] = {};
  parse_args(kSig, args, kwargs, argv);
  ResponseValue::CancelledEpoch value{epoch_arg("epoch", argv[0]), {}};
  std::vector<Ref> items = sequence_arg("destroyed_packets", argv[1]);
  value.destroyed_packets.reserve(items.size());
  for (const Ref& item : items) {
    value.destroyed_packets.push_back(str_arg("destroyed_packets", item.get()));
  }
  return new_response(std::move(value)).release();
}

PyObject* step_result_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  static constexpr const char* kNames[] = {"made_progress"};
  static constexpr Signature kSig{"NetActionResponseData_StepResult", kNames, 1};
  PyObject* argv[1] = {};
  parse_args(kSig, args, kwargs, argv);
  return new_response(ResponseValue::StepResult{bool_arg("made_progress", argv[0])}).release();
}

PyObject* empty_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  static constexpr Signature kSig{"NetActionResponseData_Empty", {}, 0};
  parse_args(kSig, args, kwargs, {});
  return new_response(ResponseValue::Empty{}).release();
}

// Getters.

PyObject* get_packet_id(PyObject* self, void*) {
  return to_py_str(alternative<ResponseValue::Packet>(self).packet_id).release();
}

template <class V>
PyObject* get_epoch(PyObject* self, void*) {
  return epoch_to_python(alternative<V>(self).epoch).release();
}

PyObject* get_destroyed_packets(PyObject* self, void*) {
  return str_list(alternative<ResponseValue::CancelledEpoch>(self).destroyed_packets).release();
}

PyObject* get_made_progress(PyObject* self, void*) {
  return PyBool_FromLong(alternative<ResponseValue::StepResult>(self).made_progress);
}

PyGetSetDef packet_getset[] = {
    {"packet_id", guarded<get_packet_id>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
PyGetSetDef created_getset[] = {
    {"epoch", guarded<get_epoch<ResponseValue::CreatedEpoch>>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
PyGetSetDef started_getset[] = {
    {"epoch", guarded<get_epoch<ResponseValue::StartedEpoch>>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
PyGetSetDef finished_getset[] = {
    {"epoch", guarded<get_epoch<ResponseValue::FinishedEpoch>>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
PyGetSetDef cancelled_getset[] = {
    {"epoch", guarded<get_epoch<ResponseValue::CancelledEpoch>>, nullptr, nullptr, nullptr},
    {"destroyed_packets", guarded<get_destroyed_packets>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
PyGetSetDef step_result_getset[] = {
    {"made_progress", guarded<get_made_progress>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
PyGetSetDef empty_getset[] = {
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

struct VariantClass {
  const char* attr;  // the class attribute on the base
  const char* name;  // the class's own name
  const char* doc;   // text signature and an empty doc string
  newfunc new_fn;
  PyGetSetDef* getset;
  std::span<const char* const> match_args;
};

constexpr const char* kPacketArgs[] = {"packet_id"};
constexpr const char* kEpochArgs[] = {"epoch"};
constexpr const char* kCancelledArgs[] = {"epoch", "destroyed_packets"};
constexpr const char* kStepResultArgs[] = {"made_progress"};

const VariantClass kVariants[kVariantCount] = {
    {"Packet", "NetActionResponseData_Packet", "NetActionResponseData_Packet(packet_id)\n--\n\n",
     guarded<packet_new>, packet_getset, kPacketArgs},
    {"CreatedEpoch", "NetActionResponseData_CreatedEpoch",
     "NetActionResponseData_CreatedEpoch(epoch)\n--\n\n",
     guarded<epoch_variant_new<ResponseValue::CreatedEpoch, kCreatedSig>>, created_getset,
     kEpochArgs},
    {"StartedEpoch", "NetActionResponseData_StartedEpoch",
     "NetActionResponseData_StartedEpoch(epoch)\n--\n\n",
     guarded<epoch_variant_new<ResponseValue::StartedEpoch, kStartedSig>>, started_getset,
     kEpochArgs},
    {"FinishedEpoch", "NetActionResponseData_FinishedEpoch",
     "NetActionResponseData_FinishedEpoch(epoch)\n--\n\n",
     guarded<epoch_variant_new<ResponseValue::FinishedEpoch, kFinishedSig>>, finished_getset,
     kEpochArgs},
    {"CancelledEpoch", "NetActionResponseData_CancelledEpoch",
     "NetActionResponseData_CancelledEpoch(epoch, destroyed_packets)\n--\n\n",
     guarded<cancelled_new>, cancelled_getset, kCancelledArgs},
    {"StepResult", "NetActionResponseData_StepResult",
     "NetActionResponseData_StepResult(made_progress)\n--\n\n", guarded<step_result_new>,
     step_result_getset, kStepResultArgs},
    {"Empty",
     "NetActionResponseData_Empty",
     "NetActionResponseData_Empty()\n--\n\n",
     guarded<empty_new>,
     empty_getset,
     {}},
};

Ref match_args_tuple(std::span<const char* const> names) {
  Ref tuple = check(PyTuple_New(static_cast<Py_ssize_t>(names.size())));
  Py_ssize_t i = 0;
  for (const char* name : names) {
    PyTuple_SET_ITEM(tuple.get(), i++, check(PyUnicode_FromString(name)).release());
  }
  return tuple;
}

Ref make_variant_class(PyObject* base, const VariantClass& variant) {
  PyType_Slot slots[] = {
      slot(Py_tp_base, base),
      slot(Py_tp_doc, variant.doc),
      slot(Py_tp_new, variant.new_fn),
      slot(Py_tp_dealloc, boxed_dealloc<ResponseValue>),
      slot(Py_tp_getset, variant.getset),
      {0, nullptr},
  };
  // Not immutable yet: __match_args__ is added first.
  PyType_Spec spec = {
      .name = variant.name,
      .basicsize = static_cast<int>(sizeof(ResponseObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT,
      .slots = slots,
  };
  Ref cls = make_class(spec);
  set_class_attr(cls.get(), "__match_args__", match_args_tuple(variant.match_args).get());
  make_immutable(cls.get());
  return cls;
}

PyDoc_STRVAR(base_doc, "Response data from a successful action.");

}  // namespace

Ref make_net_action_response_data_class() {
  PyType_Slot slots[] = {
      slot(Py_tp_doc, base_doc),
      slot(Py_tp_new, refuse_new),
      slot(Py_tp_dealloc, boxed_dealloc<ResponseValue>),
      {0, nullptr},
  };
  // The variant classes derive from it; it stays mutable until they are
  // attached as its class attributes.
  PyType_Spec spec = {
      .name = "NetActionResponseData",
      .basicsize = static_cast<int>(sizeof(ResponseObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
      .slots = slots,
  };
  Ref base = make_class(spec);
  std::vector<Ref> made;
  for (const VariantClass& variant : kVariants) {
    made.push_back(make_variant_class(base.get(), variant));
    set_class_attr(base.get(), variant.attr, made.back().get());
  }
  make_immutable(base.get());
  types().response_variants = std::move(made);
  return base;
}

Ref response_data_to_python(vornix::NetActionResponseData&& data) {
  using D = vornix::NetActionResponseData;
  using R = ResponseValue;
  // The engine's snapshot is shared as it is: nothing is copied.
  const auto share = [](const vornix::EpochSnapshot& epoch) { return epoch.shared(); };
  return std::visit(
      Overloaded{
          [](D::StepResult& d) { return new_response(R::StepResult{d.made_progress}); },
          [](D::Packet& d) { return new_response(R::Packet{d.packet_id.to_string()}); },
          [&](D::CreatedEpoch& d) { return new_response(R::CreatedEpoch{share(d.epoch)}); },
          [&](D::StartedEpoch& d) { return new_response(R::StartedEpoch{share(d.epoch)}); },
          [&](D::FinishedEpoch& d) { return new_response(R::FinishedEpoch{share(d.epoch)}); },
          [&](D::CancelledEpoch& d) {
            R::CancelledEpoch value{share(d.epoch), {}};
            value.destroyed_packets.reserve(d.destroyed_packets.size());
            for (const vornix::Ulid& id : d.destroyed_packets) {
              value.destroyed_packets.push_back(id.to_string());
            }
            return new_response(std::move(value));
          },
          [](D::Empty&) { return new_response(R::Empty{}); },
      },
      data.value);
}

}  // namespace vornix::py
