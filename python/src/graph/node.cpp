#include "graph/node.hpp"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/text.hpp"
#include "graph/port.hpp"
#include "graph/request_config.hpp"
#include "graph/salvo_condition.hpp"
#include "support/args.hpp"
#include "support/classes.hpp"
#include "support/dict_items.hpp"
#include "support/errors.hpp"
#include "support/exact.hpp"
#include "support/pickling.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

using NodeObject = Boxed<vornix::Node>;
using PortMap = vornix::NameMap<vornix::Port>;
using ConditionMap = vornix::OrderedMap<vornix::SalvoCondition>;

const vornix::Node& value_of(PyObject* self) { return boxed_value<vornix::Node>(self); }

// Nodes come in runs of one shape. A node whose maps equal, in order, those
// of the last node made takes that node's, shared (a node never changes its
// maps), so the run keeps one set. Every node's maps are made shareable, at
// the price of a count per map: a graph made of nodes then shares their maps
// rather than copying them. The GIL serialises makers.
void share_run(vornix::Node& value) {
  static vornix::Node last;
  const auto take = [](auto& mine, auto& theirs) {
    if (same_in_order(mine, theirs)) {
      mine = theirs;
    } else {
      mine.share();
      theirs = mine;
    }
  };
  take(value.in_ports, last.in_ports);
  take(value.out_ports, last.out_ports);
  take(value.in_salvo_conditions, last.in_salvo_conditions);
  take(value.out_salvo_conditions, last.out_salvo_conditions);
}

// A port dict belongs to its argument: every problem inside it is reported
// under the argument's name.
PortMap ports_arg(std::string_view name, PyObject* obj) {
  PortMap ports;
  if (is_none_or_omitted(obj)) return ports;
  if (!PyDict_Check(obj)) raise_arg_type_error(name, "dict", obj);
  ports.reserve(static_cast<std::size_t>(PyDict_Size(obj)));
  for_each_dict_item(obj, [&](PyObject* key, PyObject* value) {
    std::string port_name = str_arg(name, key);
    const vornix::Port* port = port_or_null(value);
    if (port == nullptr) raise_arg_type_error(name, "Port", value);
    ports.try_emplace(std::move(port_name), *port);
  });
  return ports;
}

// Only the container is checked here; its items are read once every other
// argument has been accepted.
PyObject* conditions_arg(std::string_view name, PyObject* obj) {
  if (is_none_or_omitted(obj)) return nullptr;
  if (!PyDict_Check(obj)) raise_arg_type_error(name, "dict", obj);
  return obj;
}

// The node tries and lists its conditions in the order the dict gives them.
// Keys of a dict are distinct, but str subclasses can make two of them spell
// the same name; the later one then replaces the earlier in its place, as a
// dict assignment would, so the node never holds a name twice.
ConditionMap conditions_from_dict(PyObject* dict) {
  ConditionMap conditions;
  if (dict == nullptr) return conditions;
  std::vector<std::pair<std::string, vornix::SalvoCondition>> entries;
  vornix::StringMap<std::size_t> position;
  for_each_dict_item(dict, [&](PyObject* key, PyObject* value) {
    std::string condition_name = utf8_of(key);
    const vornix::SalvoCondition* condition = salvo_condition_or_null(value);
    if (condition == nullptr) {
      raise_type_error("expected SalvoCondition, got " + type_name_of(value));
    }
    auto [it, fresh] = position.try_emplace(condition_name, entries.size());
    if (fresh) {
      entries.emplace_back(std::move(condition_name), *condition);
    } else {
      entries[it->second].second = *condition;
    }
  });
  for (auto& [name, condition] : entries) {
    conditions.append_unique(std::move(name), std::move(condition));
  }
  return conditions;
}

PyObject* node_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static constexpr const char* kNames[] = {"name",
                                           "in_ports",
                                           "out_ports",
                                           "in_salvo_conditions",
                                           "out_salvo_conditions",
                                           "dependency_request_config"};
  static constexpr Signature kSig{"Node", kNames, 1};
  PyObject* argv[6] = {};
  parse_args(kSig, args, kwargs, argv);
  vornix::Node value;
  value.name = str_arg("name", argv[0]);
  value.in_ports = ports_arg("in_ports", argv[1]);
  value.out_ports = ports_arg("out_ports", argv[2]);
  PyObject* in_conditions = conditions_arg("in_salvo_conditions", argv[3]);
  PyObject* out_conditions = conditions_arg("out_salvo_conditions", argv[4]);
  if (!is_none_or_omitted(argv[5])) {
    value.dependency_request_config = request_config_arg("dependency_request_config", argv[5]);
  }
  value.in_salvo_conditions = conditions_from_dict(in_conditions);
  value.out_salvo_conditions = conditions_from_dict(out_conditions);
  share_run(value);
  return new_boxed(reinterpret_cast<PyObject*>(type), std::move(value)).release();
}

Ref ports_to_python(const PortMap& ports) {
  Ref dict = check(PyDict_New());
  for (const auto& [name, port] : ports) {
    Ref key = to_py_str(name);
    Ref value = port_to_python(port);
    check_status(PyDict_SetItem(dict.get(), key.get(), value.get()));
  }
  return dict;
}

Ref conditions_to_python(const ConditionMap& conditions) {
  Ref dict = check(PyDict_New());
  for (const auto& [name, condition] : conditions) {
    Ref key = to_py_str(name);
    Ref value = salvo_condition_to_python(condition);
    check_status(PyDict_SetItem(dict.get(), key.get(), value.get()));
  }
  return dict;
}

PyObject* get_name(PyObject* self, void*) {
  SharedBorrow hold(as_boxed<vornix::Node>(self).borrow);
  return to_py_str(value_of(self).name).release();
}

PyObject* get_in_ports(PyObject* self, void*) {
  SharedBorrow hold(as_boxed<vornix::Node>(self).borrow);
  return ports_to_python(value_of(self).in_ports).release();
}

PyObject* get_out_ports(PyObject* self, void*) {
  SharedBorrow hold(as_boxed<vornix::Node>(self).borrow);
  return ports_to_python(value_of(self).out_ports).release();
}

PyObject* get_in_salvo_conditions(PyObject* self, void*) {
  SharedBorrow hold(as_boxed<vornix::Node>(self).borrow);
  return conditions_to_python(value_of(self).in_salvo_conditions).release();
}

PyObject* get_out_salvo_conditions(PyObject* self, void*) {
  SharedBorrow hold(as_boxed<vornix::Node>(self).borrow);
  return conditions_to_python(value_of(self).out_salvo_conditions).release();
}

PyObject* get_dependency_request_config(PyObject* self, void*) {
  SharedBorrow hold(as_boxed<vornix::Node>(self).borrow);
  const auto& config = value_of(self).dependency_request_config;
  if (!config) Py_RETURN_NONE;
  return request_config_to_python(*config).release();
}

PyObject* node_repr(PyObject* self) {
  SharedBorrow hold(as_boxed<vornix::Node>(self).borrow);
  return to_py_str("Node(" + vornix::quoted_form(value_of(self).name) + ")").release();
}

PyDoc_STRVAR(node_doc,
             "Node(name, in_ports=None, out_ports=None, in_salvo_conditions=None, "
             "out_salvo_conditions=None, dependency_request_config=None)\n--\n\n"
             "A processing node in the graph.");

PyGetSetDef node_getset[] = {
    {"name", guarded<get_name>, nullptr, nullptr, nullptr},
    {"in_ports", guarded<get_in_ports>, nullptr, nullptr, nullptr},
    {"out_ports", guarded<get_out_ports>, nullptr, nullptr, nullptr},
    {"in_salvo_conditions", guarded<get_in_salvo_conditions>, nullptr, nullptr, nullptr},
    {"out_salvo_conditions", guarded<get_out_salvo_conditions>, nullptr, nullptr, nullptr},
    {"dependency_request_config", guarded<get_dependency_request_config>, nullptr, nullptr,
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Rebuilt by the constructor from the getters' values.
constexpr const char* kNodeFields[] = {"name",
                                       "in_ports",
                                       "out_ports",
                                       "in_salvo_conditions",
                                       "out_salvo_conditions",
                                       "dependency_request_config"};
constexpr ReduceRecipe kNodeRecipe{&ClassRegistry::node, nullptr, kNodeFields};

PyMethodDef node_pickle_methods[] = {
    reduce_method<reduce_by_getters<kNodeRecipe>>(),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

Ref make_node_class() {
  PyType_Slot slots[] = {
      slot(Py_tp_doc, node_doc),
      slot(Py_tp_new, guarded<node_new>),
      slot(Py_tp_dealloc, boxed_dealloc<vornix::Node>),
      slot(Py_tp_repr, guarded<node_repr>),
      slot(Py_tp_getset, node_getset),
      slot(Py_tp_methods, node_pickle_methods),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "Node",
      .basicsize = static_cast<int>(sizeof(NodeObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      .slots = slots,
  };
  return make_class(spec);
}

const vornix::Node* node_or_null(PyObject* obj) noexcept {
  return exact_or_null<vornix::Node>(types().node.get(), obj);
}

Ref node_to_python(const vornix::Node& node) { return new_boxed(types().node.get(), node); }

}  // namespace vornix::py
