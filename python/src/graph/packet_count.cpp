#include "graph/packet_count.hpp"

#include <variant>

#include "graph/count_value.hpp"
#include "support/args.hpp"
#include "support/enum_class.hpp"
#include "support/errors.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

PyDoc_STRVAR(packet_count_doc, "Specifies how many packets to take from a port in a salvo.");
PyDoc_STRVAR(packet_count_n_doc, "PacketCount with a specific count limit.");
PyDoc_STRVAR(all_doc, "all()\n--\n\nTake all packets from the port.");
PyDoc_STRVAR(count_doc, "count(n)\n--\n\nTake at most n packets (takes fewer if port has fewer).");

constexpr const char* kMembers[] = {"All"};
constexpr std::int64_t kAll = 0;

constexpr char kAllName[] = "all";
constexpr char kCountName[] = "count";

PyMethodDef packet_count_methods[] = {
    {"all", fastcall_kw<member_constructor<kAllName, &ClassRegistry::packet_count, kAll>>(),
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC, all_doc},
    {"count", fastcall_kw<count_constructor<kCountName, &ClassRegistry::packet_count_n>>(),
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC, count_doc},
    {nullptr, nullptr, 0, nullptr},
};

const EnumClassSpec kSpec{"PacketCount", packet_count_doc, kMembers, packet_count_methods};

constexpr CountClass kCountN{"PacketCountN",      packet_count_n_doc,           "count",
                             "PacketCount.count", &ClassRegistry::packet_count, "count"};

}  // namespace

Ref make_packet_count_class() { return make_enum_class(kSpec); }
Ref make_packet_count_n_class() { return make_count_class<kCountN>(); }

vornix::PacketCount packet_count_from_python(PyObject* obj) {
  if (is_enum_instance(types().packet_count.get(), obj)) return vornix::PacketCount::all();
  if (auto n = count_of(types().packet_count_n.get(), obj)) return vornix::PacketCount::count(*n);
  raise_type_error("Expected PacketCount or PacketCountN");
}

Ref packet_count_to_python(const vornix::PacketCount& count) {
  if (const auto* c = std::get_if<vornix::PacketCount::Count>(&count.value)) {
    return new_count(types().packet_count_n.get(), c->n);
  }
  return enum_value(types().packet_count.get(), kAll);
}

}  // namespace vornix::py
