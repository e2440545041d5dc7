#include "graph/term.hpp"

#include <algorithm>
#include <utility>
#include <vector>

#include "base/result.hpp"
#include "base/text.hpp"
#include "graph/port_state.hpp"
#include "support/args.hpp"
#include "support/classes.hpp"
#include "support/errors.hpp"
#include "support/exact.hpp"
#include "support/no_constructor.hpp"
#include "support/pickling.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

using Term = vornix::SalvoConditionTerm;

// The object keeps the depth next to the term so that combining terms costs
// nothing beyond copying them.
struct TermValue {
  Term term;
  std::size_t depth;
};
using TermObject = Boxed<TermValue>;

TermValue& value_of(PyObject* self) { return boxed_value<TermValue>(self); }

std::size_t depth_of(const Term& term) {
  return std::visit(Overloaded{
                        [](const Term::True&) -> std::size_t { return 1; },
                        [](const Term::False&) -> std::size_t { return 1; },
                        [](const Term::Port&) -> std::size_t { return 1; },
                        [](const Term::And& a) {
                          std::size_t deepest = 0;
                          for (const Term& t : a.terms) deepest = std::max(deepest, depth_of(t));
                          return deepest + 1;
                        },
                        [](const Term::Or& o) {
                          std::size_t deepest = 0;
                          for (const Term& t : o.terms) deepest = std::max(deepest, depth_of(t));
                          return deepest + 1;
                        },
                        [](const Term::Not& n) { return depth_of(*n.inner) + 1; },
                    },
                    term.value);
}

// GCC 12 reports a false -Wfree-nonheap-object for the moved-from term
// destroyed at the end of this function (an emptied Box deletes nothing).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wfree-nonheap-object"
Ref new_term(Term&& term, std::size_t depth) {
  if (depth > kMaxTermDepth) {
    raise(PyExc_RecursionError,
          "SalvoConditionTerm nested deeper than " + std::to_string(kMaxTermDepth) + " levels");
  }
  return new_boxed(types().salvo_condition_term.get(), TermValue{std::move(term), depth});
}
#pragma GCC diagnostic pop

const TermValue& term_value_arg(std::string_view name, PyObject* obj) {
  return exact_arg<TermValue>(types().salvo_condition_term.get(), "SalvoConditionTerm", name, obj);
}

PyObject* make_true(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr Signature kSig{"true_", {}, 0};
  parse_args(kSig, args, nargs, kwnames, {});
  return new_term(Term::true_(), 1).release();
}

PyObject* make_false(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr Signature kSig{"false_", {}, 0};
  parse_args(kSig, args, nargs, kwnames, {});
  return new_term(Term::false_(), 1).release();
}

PyObject* make_port(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* kNames[] = {"port_name", "state"};
  static constexpr Signature kSig{"port", kNames, 2};
  PyObject* argv[2] = {};
  parse_args(kSig, args, nargs, kwnames, argv);
  std::string port_name = str_arg("port_name", argv[0]);
  const vornix::PortState state = port_state_from_python(argv[1]);
  return new_term(Term::port(std::move(port_name), state), 1).release();
}

// Copies of the listed terms and the depth of the deepest one.
std::pair<std::vector<Term>, std::size_t> operands(PyObject* obj) {
  std::vector<Ref> items = sequence_arg("terms", obj);
  std::vector<Term> terms;
  terms.reserve(items.size());
  std::size_t deepest = 0;
  for (const Ref& item : items) {
    const TermValue& v = term_value_arg("terms", item.get());
    terms.push_back(v.term);
    deepest = std::max(deepest, v.depth);
  }
  return {std::move(terms), deepest};
}

template <bool IsAnd>
PyObject* make_junction(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* kNames[] = {"terms"};
  static constexpr Signature kSig{IsAnd ? "and_" : "or_", kNames, 1};
  PyObject* argv[1] = {};
  parse_args(kSig, args, nargs, kwnames, argv);
  auto [terms, deepest] = operands(argv[0]);
  Term term = IsAnd ? Term::and_(std::move(terms)) : Term::or_(std::move(terms));
  return new_term(std::move(term), deepest + 1).release();
}

PyObject* make_not(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* kNames[] = {"term"};
  static constexpr Signature kSig{"not_", kNames, 1};
  PyObject* argv[1] = {};
  parse_args(kSig, args, nargs, kwnames, argv);
  const TermValue& inner = term_value_arg("term", argv[0]);
  return new_term(Term::not_(inner.term), inner.depth + 1).release();
}

constexpr const char* kKinds[] = {"True", "False", "Port", "And", "Or", "Not"};

PyObject* get_kind(PyObject* self, void*) {
  SharedBorrow hold(as_boxed<TermValue>(self).borrow);
  return to_py_str(kKinds[value_of(self).term.value.index()]).release();
}

PyObject* get_port_name(PyObject* self, PyObject*) {
  SharedBorrow hold(as_boxed<TermValue>(self).borrow);
  const auto* port = std::get_if<Term::Port>(&value_of(self).term.value);
  if (port == nullptr) Py_RETURN_NONE;
  return to_py_str(port->port_name).release();
}

PyObject* get_port_state(PyObject* self, PyObject*) {
  SharedBorrow hold(as_boxed<TermValue>(self).borrow);
  const auto* port = std::get_if<Term::Port>(&value_of(self).term.value);
  if (port == nullptr) Py_RETURN_NONE;
  return port_state_to_python(port->state).release();
}

PyObject* get_terms(PyObject* self, PyObject*) {
  SharedBorrow hold(as_boxed<TermValue>(self).borrow);
  const Term& term = value_of(self).term;
  const std::vector<Term>* terms = nullptr;
  if (const auto* a = std::get_if<Term::And>(&term.value)) terms = &a->terms;
  if (const auto* o = std::get_if<Term::Or>(&term.value)) terms = &o->terms;
  if (terms == nullptr) Py_RETURN_NONE;
  Ref list = check(PyList_New(static_cast<Py_ssize_t>(terms->size())));
  for (std::size_t i = 0; i < terms->size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), term_to_python((*terms)[i]).release());
  }
  return list.release();
}

PyObject* get_inner(PyObject* self, PyObject*) {
  SharedBorrow hold(as_boxed<TermValue>(self).borrow);
  const auto* n = std::get_if<Term::Not>(&value_of(self).term.value);
  if (n == nullptr) Py_RETURN_NONE;
  return term_to_python(*n->inner).release();
}

PyObject* term_repr(PyObject* self) {
  SharedBorrow hold(as_boxed<TermValue>(self).borrow);
  std::string text;
  append_term_repr(text, value_of(self).term);
  return to_py_str(text).release();
}

void append_terms(std::string& out, const char* head, const std::vector<Term>& terms) {
  out += head;
  for (std::size_t i = 0; i < terms.size(); ++i) {
    if (i != 0) out += ", ";
    append_term_repr(out, terms[i]);
  }
  out += "])";
}

// A term pickles as the static-constructor call that makes it; the operands
// of And, Or and Not are pickled in turn.
PyObject* term_reduce(PyObject* self, PyObject*) {
  static constexpr const char* kFactories[] = {"true_", "false_", "port", "and_", "or_", "not_"};
  Ref args;
  switch (value_of(self).term.value.index()) {
    case 2: {
      Ref name = check(get_port_name(self, nullptr));
      Ref state = check(get_port_state(self, nullptr));
      args = check(PyTuple_Pack(2, name.get(), state.get()));
      break;
    }
    case 3:
    case 4: args = check(PyTuple_Pack(1, check(get_terms(self, nullptr)).get())); break;
    case 5: args = check(PyTuple_Pack(1, check(get_inner(self, nullptr)).get())); break;
    default: args = check(PyTuple_New(0)); break;
  }
  const char* factory = kFactories[value_of(self).term.value.index()];
  return reduce_to_factory(types().salvo_condition_term.get(), factory, std::move(args)).release();
}

PyDoc_STRVAR(term_doc, "Boolean expression over port states.");

constexpr int kStatic = METH_FASTCALL | METH_KEYWORDS | METH_STATIC;

PyMethodDef term_methods[] = {
    {"true_", fastcall_kw<make_true>(), kStatic,
     PyDoc_STR("true_()\n--\n\n"
               "Create a term that is always true. Useful for source nodes with no input ports.")},
    {"false_", fastcall_kw<make_false>(), kStatic,
     PyDoc_STR("false_()\n--\n\n"
               "Create a term that is always false. Useful as a placeholder or with Not.")},
    {"port", fastcall_kw<make_port>(), kStatic,
     PyDoc_STR("port(port_name, state)\n--\n\nCreate a port state check term.")},
    {"and_", fastcall_kw<make_junction<true>>(), kStatic,
     PyDoc_STR("and_(terms)\n--\n\nCreate an AND term (all sub-terms must be true).")},
    {"or_", fastcall_kw<make_junction<false>>(), kStatic,
     PyDoc_STR("or_(terms)\n--\n\nCreate an OR term (at least one sub-term must be true).")},
    {"not_", fastcall_kw<make_not>(), kStatic,
     PyDoc_STR("not_(term)\n--\n\nCreate a NOT term (sub-term must be false).")},
    {"get_port_name", noargs<get_port_name>(), METH_NOARGS,
     PyDoc_STR("get_port_name($self)\n--\n\nGet the port name (for Port terms only).")},
    {"get_port_state", noargs<get_port_state>(), METH_NOARGS,
     PyDoc_STR("get_port_state($self)\n--\n\nGet the port state (for Port terms only).")},
    {"get_terms", noargs<get_terms>(), METH_NOARGS,
     PyDoc_STR("get_terms($self)\n--\n\nGet the sub-terms (for And and Or terms only).")},
    {"get_inner", noargs<get_inner>(), METH_NOARGS,
     PyDoc_STR("get_inner($self)\n--\n\nGet the inner term (for Not terms only).")},
    reduce_method<term_reduce>(),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef term_getset[] = {
    {"kind", guarded<get_kind>, nullptr,
     PyDoc_STR("Get the term kind: \"True\", \"False\", \"Port\", \"And\", \"Or\", or \"Not\"."),
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

Ref make_salvo_condition_term_class() {
  PyType_Slot slots[] = {
      slot(Py_tp_doc, term_doc),
      slot(Py_tp_new, refuse_new),
      slot(Py_tp_dealloc, boxed_dealloc<TermValue>),
      slot(Py_tp_repr, guarded<term_repr>),
      slot(Py_tp_methods, term_methods),
      slot(Py_tp_getset, term_getset),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "SalvoConditionTerm",
      .basicsize = static_cast<int>(sizeof(TermObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      .slots = slots,
  };
  return make_class(spec);
}

const vornix::SalvoConditionTerm* term_or_null(PyObject* obj) noexcept {
  const TermValue* value = exact_or_null<TermValue>(types().salvo_condition_term.get(), obj);
  return value == nullptr ? nullptr : &value->term;
}

const vornix::SalvoConditionTerm& term_arg(std::string_view name, PyObject* obj) {
  return term_value_arg(name, obj).term;
}

Ref term_to_python(vornix::SalvoConditionTerm term) {
  const std::size_t depth = depth_of(term);
  return new_term(std::move(term), depth);
}

void append_term_repr(std::string& out, const vornix::SalvoConditionTerm& term) {
  std::visit(
      Overloaded{
          [&](const Term::True&) { out += "SalvoConditionTerm.true_()"; },
          [&](const Term::False&) { out += "SalvoConditionTerm.false_()"; },
          [&](const Term::Port& p) {
            out += "SalvoConditionTerm.port(";
            out += vornix::quoted_form(p.port_name);
            out += ", ";
            out += vornix::diagnostic(p.state);
            out += ")";
          },
          [&](const Term::And& a) { append_terms(out, "SalvoConditionTerm.and_([", a.terms); },
          [&](const Term::Or& o) { append_terms(out, "SalvoConditionTerm.or_([", o.terms); },
          [&](const Term::Not& n) {
            out += "SalvoConditionTerm.not_(";
            append_term_repr(out, *n.inner);
            out += ")";
          },
      },
      term.value);
}

}  // namespace vornix::py
