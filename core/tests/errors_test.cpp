#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/errors.hpp"
#include "net/events.hpp"

namespace vornix {
namespace {

using E = NetActionError;

const Ulid kPacket = *Ulid::parse("01ARZ3NDEKTSV4RRFFQ69G5FAV");
const Ulid kEpoch = Ulid::from_parts(0, 5);
constexpr const char* kP = "01ARZ3NDEKTSV4RRFFQ69G5FAV";
constexpr const char* kE = "00000000000000000000000005";

TEST(NetActionErrorText, EveryVariantHasItsExactText) {
  const Edge edge{{"A", PortType::Output, "x"}, {"B", PortType::Input, "y"}};
  struct Case {
    NetActionError error;
    std::string text;
  };
  const std::string p = kP;
  const std::string e = kE;
  const std::vector<Case> cases = {
      {{E::PacketNotFound{kPacket}}, "packet not found: " + p},
      {{E::EpochNotFound{kEpoch}}, "epoch not found: " + e},
      {{E::EpochNotRunning{kEpoch}}, "epoch " + e + " is not running"},
      {{E::EpochNotStartable{kEpoch}}, "epoch " + e + " is not startable"},
      {{E::CannotFinishNonEmptyEpoch{kEpoch}},
       "cannot finish epoch " + e + ": epoch still contains packets"},
      {{E::UnsentOutputSalvo{kEpoch, "out"}},
       "cannot finish epoch " + e + ": output port 'out' has unsent packets"},
      {{E::PacketNotInAnyNode{kPacket}}, "packet " + p + " is not inside any epoch"},
      {{E::OutputPortNotFound{"o", kEpoch}}, "output port 'o' not found on node for epoch " + e},
      {{E::SalvoConditionNotFound{"c", kEpoch}},
       "output salvo condition 'c' not found on node for epoch " + e},
      {{E::MaxSalvosExceeded{"c", kEpoch}},
       "max output salvos reached for condition 'c' on epoch " + e},
      {{E::SalvoConditionNotMet{"c", kEpoch}}, "salvo condition 'c' not met for epoch " + e},
      {{E::OutputPortFull{"o", kEpoch}}, "output port 'o' is full for epoch " + e},
      {{E::NodeNotFound{"X"}}, "node not found: 'X'"},
      {{E::PacketNotAtInputPort{kPacket, "in", "B"}},
       "packet " + p + " is not at input port 'in' of node 'B'"},
      {{E::InputPortNotFound{"in", "B"}}, "input port 'in' not found on node 'B'"},
      {{E::InputPortFull{"in", "B"}}, "input port 'in' on node 'B' is full"},
      {{E::CannotMovePacketFromRunningEpoch{kPacket, kEpoch}},
       "cannot move packet " + p + " out of running epoch " + e},
      {{E::CannotMovePacketIntoRunningEpoch{kPacket, kEpoch}},
       "cannot move packet " + p + " into running epoch " + e},
      {{E::EdgeNotFound{edge}}, "edge not found: A.out.x -> B.in.y"},
      {{E::RequestCycleDetected{"N"}}, "request cascade cycle detected at node 'N'"},
      {{E::RequestUnconnectedPort{"N", "p"}},
       "request cascade reached unconnected input port 'p' on node 'N'"},
      {{E::RequestNodeNotFound{"N"}}, "request targets non-existent node 'N'"},
  };
  ASSERT_EQ(cases.size(), std::variant_size_v<decltype(NetActionError::value)>);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].text);
    EXPECT_EQ(cases[i].error.value.index(), i);  // the table follows the variant order
    EXPECT_EQ(cases[i].error.to_string(), cases[i].text);
  }
}

TEST(NetActionErrorText, NamesAreInsertedUnchanged) {
  // No escaping: quotes, backslashes, newlines and dots in names come out as given.
  EXPECT_EQ((E{E::NodeNotFound{"it's \"x\"\\\n"}}).to_string(), "node not found: 'it's \"x\"\\\n'");
  EXPECT_EQ((E{E::InputPortFull{"", ""}}).to_string(), "input port '' on node '' is full");
  const Edge dotted{{"a.b", PortType::Output, "c"}, {"d", PortType::Input, "e.f"}};
  EXPECT_EQ((E{E::EdgeNotFound{dotted}}).to_string(), "edge not found: a.b.out.c -> d.in.e.f");
}

TEST(UndoErrorText, EachKindHasItsPrefix) {
  struct Case {
    UndoError error;
    std::string text;
  };
  const std::string msg = std::string("packet ") + kP +
                          " is not at expected location OutsideNet, "
                          "found at Node(Ulid(5))";
  const std::vector<Case> cases = {
      {UndoError::state_mismatch(msg), "state mismatch: " + msg},
      {UndoError::not_found("epoch x not found"), "entity not found: epoch x not found"},
      {UndoError{UndoError::Kind::NotUndoable, "m"}, "action not undoable: m"},
      {UndoError{UndoError::Kind::Internal, "m"}, "internal error: m"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.error.to_string(), c.text);
  }
}

TEST(EventNames, KindsAndRequestSourcesReadAsTheirNames) {
  const std::vector<std::pair<NetEvent, std::string_view>> events = {
      {{NetEvent::PacketCreated{}}, "PacketCreated"},
      {{NetEvent::PacketConsumed{}}, "PacketConsumed"},
      {{NetEvent::PacketDestroyed{}}, "PacketDestroyed"},
      {{NetEvent::EpochCreated{}}, "EpochCreated"},
      {{NetEvent::EpochStarted{}}, "EpochStarted"},
      {{NetEvent::EpochFinished{}}, "EpochFinished"},
      {{NetEvent::EpochCancelled{}}, "EpochCancelled"},
      {{NetEvent::PacketMoved{}}, "PacketMoved"},
      {{NetEvent::InputSalvoTriggered{}}, "InputSalvoTriggered"},
      {{NetEvent::OutputSalvoTriggered{}}, "OutputSalvoTriggered"},
      {{NetEvent::PacketOrphaned{}}, "PacketOrphaned"},
      {{NetEvent::RequestCreated{}}, "RequestCreated"},
      {{NetEvent::RequestCascadeResolved{}}, "RequestCascadeResolved"},
      {{NetEvent::RequestEpochCreated{}}, "RequestEpochCreated"},
  };
  ASSERT_EQ(events.size(), std::variant_size_v<decltype(NetEvent::value)>);
  for (std::size_t i = 0; i < events.size(); ++i) {
    SCOPED_TRACE(events[i].second);
    EXPECT_EQ(events[i].first.value.index(), i);
    EXPECT_EQ(events[i].first.kind_name(), events[i].second);
  }
  EXPECT_EQ(to_string(RequestCreatedSource::External), "External");
  EXPECT_EQ(to_string(RequestCreatedSource::OnStartup), "OnStartup");
  EXPECT_EQ(to_string(RequestCreatedSource::OnNoSalvoTriggered), "OnNoSalvoTriggered");
}

}  // namespace
}  // namespace vornix
