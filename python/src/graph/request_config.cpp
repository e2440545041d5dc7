#include "graph/request_config.hpp"

#include <string>
#include <utility>
#include <vector>

#include "base/text.hpp"
#include "support/args.hpp"
#include "support/classes.hpp"
#include "support/enum_class.hpp"
#include "support/errors.hpp"
#include "support/exact.hpp"
#include "support/pickling.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

PyDoc_STRVAR(trigger_doc,
             "When a node should automatically emit packet requests through its dependency "
             "edges.");
PyDoc_STRVAR(config_doc,
             "DependencyRequestConfig(triggers, label)\n--\n\n"
             "Configuration for automatic dependency-edge request generation on a node.");

// Member numbers are the engine enumerator values.
constexpr const char* kMembers[] = {"OnStartup", "OnNoSalvoTriggered"};
constexpr const char* kMethodNames[] = {"on_startup", "on_no_salvo_triggered"};

template <std::size_t I>
PyObject* trigger_member(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr Signature kSig{kMethodNames[I], {}, 0};
  parse_args(kSig, args, nargs, kwnames, {});
  return enum_member(types().dependency_request_trigger.get(), static_cast<std::int64_t>(I))
      .release();
}

constexpr int kStatic = METH_FASTCALL | METH_KEYWORDS | METH_STATIC;

PyMethodDef trigger_methods[] = {
    {"on_startup", fastcall_kw<trigger_member<0>>(), kStatic, PyDoc_STR("on_startup()\n--\n\n")},
    {"on_no_salvo_triggered", fastcall_kw<trigger_member<1>>(), kStatic,
     PyDoc_STR("on_no_salvo_triggered()\n--\n\n")},
    {nullptr, nullptr, 0, nullptr},
};

const EnumClassSpec kTriggerSpec{"DependencyRequestTrigger", trigger_doc, kMembers,
                                 trigger_methods};

using ConfigObject = Boxed<vornix::DependencyRequestConfig>;

const vornix::DependencyRequestConfig& value_of(PyObject* self) {
  return boxed_value<vornix::DependencyRequestConfig>(self);
}

vornix::DependencyRequestTrigger trigger_of(PyObject* obj) {
  return enum_number(obj) == 0 ? vornix::DependencyRequestTrigger::OnStartup
                               : vornix::DependencyRequestTrigger::OnNoSalvoTriggered;
}

PyObject* config_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static constexpr const char* kNames[] = {"triggers", "label"};
  static constexpr Signature kSig{"DependencyRequestConfig", kNames, 2};
  PyObject* argv[2] = {};
  parse_args(kSig, args, kwargs, argv);
  vornix::DependencyRequestConfig value;
  PyObject* trigger_class = types().dependency_request_trigger.get();
  for (const Ref& item : sequence_arg("triggers", argv[0])) {
    if (!is_enum_instance(trigger_class, item.get())) {
      raise_arg_type_error("triggers", "DependencyRequestTrigger", item.get());
    }
    value.triggers.push_back(trigger_of(item.get()));
  }
  value.label = str_arg("label", argv[1]);
  return new_boxed(reinterpret_cast<PyObject*>(type), std::move(value)).release();
}

PyObject* get_triggers(PyObject* self, void*) {
  SharedBorrow hold(as_boxed<vornix::DependencyRequestConfig>(self).borrow);
  const auto& triggers = value_of(self).triggers;
  Ref list = check(PyList_New(static_cast<Py_ssize_t>(triggers.size())));
  for (std::size_t i = 0; i < triggers.size(); ++i) {
    Ref member = enum_value(types().dependency_request_trigger.get(),
                            static_cast<std::int64_t>(triggers[i]));
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), member.release());
  }
  return list.release();
}

PyObject* get_label(PyObject* self, void*) {
  SharedBorrow hold(as_boxed<vornix::DependencyRequestConfig>(self).borrow);
  return to_py_str(value_of(self).label).release();
}

PyObject* config_repr(PyObject* self) {
  SharedBorrow hold(as_boxed<vornix::DependencyRequestConfig>(self).borrow);
  const vornix::DependencyRequestConfig& c = value_of(self);
  std::string text = "DependencyRequestConfig(triggers=[";
  for (std::size_t i = 0; i < c.triggers.size(); ++i) {
    if (i != 0) text += ", ";
    text += "DependencyRequestTrigger.";
    text += kMembers[static_cast<std::size_t>(c.triggers[i])];
  }
  text += "], label=" + vornix::quoted_form(c.label) + ")";
  return to_py_str(text).release();
}

PyGetSetDef config_getset[] = {
    {"triggers", guarded<get_triggers>, nullptr, nullptr, nullptr},
    {"label", guarded<get_label>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Rebuilt by the constructor from the getters' values.
constexpr const char* kConfigFields[] = {"triggers", "label"};
constexpr ReduceRecipe kConfigRecipe{&ClassRegistry::dependency_request_config, nullptr,
                                     kConfigFields};

PyMethodDef config_pickle_methods[] = {
    reduce_method<reduce_by_getters<kConfigRecipe>>(),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

Ref make_dependency_request_trigger_class() { return make_enum_class(kTriggerSpec); }

Ref make_dependency_request_config_class() {
  PyType_Slot slots[] = {
      slot(Py_tp_doc, config_doc),
      slot(Py_tp_new, guarded<config_new>),
      slot(Py_tp_dealloc, boxed_dealloc<vornix::DependencyRequestConfig>),
      slot(Py_tp_repr, guarded<config_repr>),
      slot(Py_tp_getset, config_getset),
      slot(Py_tp_methods, config_pickle_methods),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "DependencyRequestConfig",
      .basicsize = static_cast<int>(sizeof(ConfigObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      .slots = slots,
  };
  return make_class(spec);
}

const vornix::DependencyRequestConfig& request_config_arg(std::string_view name, PyObject* obj) {
  return exact_arg<vornix::DependencyRequestConfig>(types().dependency_request_config.get(),
                                                    "DependencyRequestConfig", name, obj);
}

Ref request_config_to_python(const vornix::DependencyRequestConfig& config) {
  return new_boxed(types().dependency_request_config.get(), config);
}

}  // namespace vornix::py
