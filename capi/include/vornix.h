/* vornix.h: the engine behind a plain C interface.
 *
 * For any language that can call C: no C++ type and no exception crosses it.
 * Every call that can fail returns a vx_status; the details of the outcome
 * (response, events, refusal, validation errors, fault text) are written into
 * a vx_result the caller creates once and passes to every call.
 *
 * Ownership and lifetimes
 * - Handles (vx_builder, vx_graph, vx_sim, vx_result) are opaque; each has a
 *   function that frees it. A graph is immutable and reference-counted: a
 *   simulation keeps its graph alive, so the caller may release its own
 *   reference as soon as the simulation exists.
 * - A call on a result clears it first. Every pointer read from a result
 *   (records, names, arrays) stays valid until the next call that is given
 *   the same result, or until the result is freed. Names in records are
 *   (pointer, length) pairs, not NUL-terminated, and may contain NUL bytes.
 * - Inputs (names, actions, event records handed back for undo) are read
 *   during the call only; the caller keeps ownership.
 * - Nothing here is thread-safe: one caller at a time per simulation and per
 *   result. Distinct simulations may run on distinct threads; a graph may be
 *   shared by simulations on any thread.
 * - A result grows to the largest answer it has held and keeps that storage,
 *   so a loop that reuses one result allocates nothing per event.
 *
 * Identifiers (packets, epochs) are 128-bit ULIDs carried as two 64-bit
 * halves; vx_ulid_parse and vx_ulid_format convert to and from the 26-char
 * text form.
 */
#ifndef VORNIX_H
#define VORNIX_H

#include <stddef.h>
#include <stdint.h>

#if defined(VX_BUILDING)
#define VX_API __attribute__((visibility("default")))
#else
#define VX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Status ---- */
typedef int32_t vx_status;
enum {
  VX_OK = 0,
  VX_REFUSED = 1,     /* the engine refused: view->error or view->undo_error says why */
  VX_INTERRUPTED = 2, /* run_until_blocked stopped on the caller's check; events are kept */
  VX_BAD_INPUT = 3,   /* malformed input (unknown kind, null pointer, bad index): view->message */
  VX_FAULT = 4        /* internal fault of the engine or out of memory: view->message */
};

/* ---- Plain values ---- */
typedef struct vx_str {
  const char* ptr; /* may be NULL when len == 0 */
  size_t len;
} vx_str;

typedef struct vx_id {
  uint64_t hi; /* bits 127..64 */
  uint64_t lo; /* bits 63..0 */
} vx_id;

enum { VX_PORT_INPUT = 0, VX_PORT_OUTPUT = 1 };

typedef struct vx_port_ref {
  vx_str node_name;
  uint32_t port_type; /* VX_PORT_INPUT or VX_PORT_OUTPUT */
  vx_str port_name;
} vx_port_ref;

typedef struct vx_edge {
  vx_port_ref source;
  vx_port_ref target;
} vx_edge;

/* ---- ULID helpers ---- */
/* Parses 26 base-32 characters (either case). Returns 0 on success, 1 for a
 * wrong length, 2 for a character outside the alphabet. */
VX_API int32_t vx_ulid_parse(vx_str text, vx_id* out);
/* The same, with the text as pointer and length (see vx_sim_get_packet_p for why). */
VX_API int32_t vx_ulid_parse_p(const char* text, size_t len, vx_id* out);
/* Writes exactly 26 upper-case characters to out[0..25] (no NUL). */
VX_API void vx_ulid_format(vx_id id, char* out);
/* A new identifier from the wall clock and the thread's generator. */
VX_API vx_id vx_ulid_generate(void);

/* ---- Result buffer ---- */
typedef struct vx_result vx_result;
VX_API vx_result* vx_result_new(void);         /* NULL when out of memory */
VX_API void vx_result_free(vx_result* result); /* NULL is fine */

/* ---- Graph building ---- */
typedef struct vx_builder vx_builder;
typedef struct vx_graph vx_graph;

/* A port's slot spec or a condition's max salvos: finite n, or infinite. */
typedef struct vx_bound {
  int32_t infinite; /* nonzero: no bound, n is ignored */
  uint64_t n;
} vx_bound;

/* A packet count in a salvo condition: all packets, or at most n. */
typedef struct vx_port_count {
  vx_str port_name;
  int32_t all; /* nonzero: every packet, n is ignored */
  uint64_t n;
} vx_port_count;

enum {
  VX_TERM_TRUE = 0,
  VX_TERM_FALSE = 1,
  VX_TERM_PORT = 2,
  VX_TERM_AND = 3, /* followed by child_count sub-terms */
  VX_TERM_OR = 4,  /* followed by child_count sub-terms */
  VX_TERM_NOT = 5  /* followed by one sub-term */
};
enum {
  VX_STATE_EMPTY = 0,
  VX_STATE_FULL = 1,
  VX_STATE_NON_EMPTY = 2,
  VX_STATE_NON_FULL = 3,
  VX_STATE_EQUALS = 4,
  VX_STATE_LESS_THAN = 5,
  VX_STATE_GREATER_THAN = 6,
  VX_STATE_EQUALS_OR_LESS_THAN = 7,
  VX_STATE_EQUALS_OR_GREATER_THAN = 8
};
/* One node of a term, in prefix order: And(Port a, Not(False)) is
 * {AND,2} {PORT a} {NOT} {FALSE}. */
typedef struct vx_term {
  uint32_t kind;
  uint32_t child_count; /* VX_TERM_AND / VX_TERM_OR only */
  vx_str port_name;     /* VX_TERM_PORT only */
  uint32_t state;       /* VX_TERM_PORT only: a VX_STATE_ value */
  uint64_t n;           /* the number of the counting states */
} vx_term;
/* Terms nest at most this deep. */
#define VX_MAX_TERM_DEPTH 1000

enum { VX_TRIGGER_ON_STARTUP = 0, VX_TRIGGER_ON_NO_SALVO_TRIGGERED = 1 };

VX_API vx_builder* vx_builder_new(void); /* NULL when out of memory */
VX_API void vx_builder_free(vx_builder* builder);
/* Adds a node and returns its index (0, 1, ...) in *index. */
VX_API vx_status vx_builder_add_node(vx_builder* b, vx_str name, uint32_t* index,
                                     vx_result* result);
/* Adds or replaces a port of node `node` (an index from vx_builder_add_node). */
VX_API vx_status vx_builder_add_port(vx_builder* b, uint32_t node, uint32_t port_type, vx_str name,
                                     vx_bound slots, vx_result* result);
/* Adds a salvo condition after the node's others on that side (or replaces
 * the one of that name in place). `terms` holds exactly one term in prefix
 * order; a count that does not match is VX_BAD_INPUT. */
VX_API vx_status vx_builder_add_salvo_condition(vx_builder* b, uint32_t node, uint32_t port_type,
                                                vx_str name, vx_bound max_salvos,
                                                const vx_port_count* ports, size_t port_count,
                                                const vx_term* terms, size_t term_count,
                                                vx_result* result);
/* Sets the node's dependency request config (triggers are VX_TRIGGER_ values). */
VX_API vx_status vx_builder_set_request_config(vx_builder* b, uint32_t node,
                                               const uint32_t* triggers, size_t trigger_count,
                                               vx_str label, vx_result* result);
/* The four calls above, with their struct parameters passed by address (see
 * vx_sim_get_packet_p for why). */
VX_API vx_status vx_builder_add_node_p(vx_builder* b, const vx_str* name, uint32_t* index,
                                       vx_result* result);
VX_API vx_status vx_builder_add_port_p(vx_builder* b, uint32_t node, uint32_t port_type,
                                       const vx_str* name, const vx_bound* slots,
                                       vx_result* result);
VX_API vx_status vx_builder_add_salvo_condition_p(vx_builder* b, uint32_t node, uint32_t port_type,
                                                  const vx_str* name, const vx_bound* max_salvos,
                                                  const vx_port_count* ports, size_t port_count,
                                                  const vx_term* terms, size_t term_count,
                                                  vx_result* result);
VX_API vx_status vx_builder_set_request_config_p(vx_builder* b, uint32_t node,
                                                 const uint32_t* triggers, size_t trigger_count,
                                                 const vx_str* label, vx_result* result);
/* Adds a node named `name` with the ports, salvo conditions and request
 * config node `like` (an earlier index) has now: what adding them one by one
 * would give, in one call, for graphs that repeat a few node shapes. */
VX_API vx_status vx_builder_add_node_like(vx_builder* b, const vx_str* name, uint32_t like,
                                          uint32_t* index, vx_result* result);
VX_API vx_status vx_builder_add_edge(vx_builder* b, const vx_edge* edge, vx_result* result);
VX_API vx_status vx_builder_add_dependency_edge(vx_builder* b, const vx_edge* edge,
                                                vx_result* result);
/* Makes the graph (one reference, for the caller). The builder's contents
 * move into the graph, whatever the outcome: the builder is left empty and
 * stays the caller's to free. A repeated node name is a VX_FAULT with the
 * engine's text. */
VX_API vx_status vx_builder_finish(vx_builder* b, vx_graph** out, vx_result* result);

VX_API void vx_graph_retain(vx_graph* graph);
VX_API void vx_graph_release(vx_graph* graph); /* NULL is fine */
VX_API int32_t vx_graph_is_valid(const vx_graph* graph);
/* Writes every validation error into result->validation_errors, in the
 * validator's order. */
VX_API vx_status vx_graph_validate(const vx_graph* graph, vx_result* result);

/* ---- Reading a graph back ----
 * A graph keeps what it was built from, so a caller need not keep a copy.
 * The records below are written into a result and last until its next call,
 * as all its records do; the names in them point into the graph itself and
 * stay valid for as long as the caller holds a reference to the graph. */
enum {
  VX_GRAPH_NODES = 0,           /* in the order given */
  VX_GRAPH_EDGES = 1,           /* the distinct edges, in the order first given */
  VX_GRAPH_EDGES_AS_GIVEN = 2,  /* every edge as given, repeats included */
  VX_GRAPH_DEPENDENCY_EDGES = 3 /* the distinct dependency edges, in the order first given */
};
/* How many items a VX_GRAPH_ list holds; 0 for no graph or an unknown list. */
VX_API size_t vx_graph_count(const vx_graph* graph, uint32_t list);

typedef struct vx_port {
  vx_str name;
  vx_bound slots;
} vx_port;
typedef struct vx_salvo_condition {
  vx_str name;
  vx_bound max_salvos;
  const vx_port_count* ports; /* in the order given */
  size_t port_count;
  const vx_term* terms; /* one term, in prefix order */
  size_t term_count;
} vx_salvo_condition;
typedef struct vx_node {
  vx_str name;
  const vx_port* in_ports; /* each side's ports and conditions in the order given */
  size_t in_port_count;
  const vx_port* out_ports;
  size_t out_port_count;
  const vx_salvo_condition* in_conditions;
  size_t in_condition_count;
  const vx_salvo_condition* out_conditions;
  size_t out_condition_count;
  int32_t has_request_config; /* nonzero: triggers and label are set */
  const uint32_t* triggers;   /* VX_TRIGGER_ values, in the order given */
  size_t trigger_count;
  vx_str label;
  /* VX_SAME_ bits: which parts equal those of node index - 1 (none for node
   * 0). Graphs repeat a few shapes over many nodes, and a reader going in
   * order can reuse what it made of the previous node's instead. */
  uint32_t same_as_previous;
} vx_node;
enum {
  VX_SAME_IN_PORTS = 1,
  VX_SAME_OUT_PORTS = 2,
  VX_SAME_IN_CONDITIONS = 4,
  VX_SAME_OUT_CONDITIONS = 8
};
/* Writes node `index` of VX_GRAPH_NODES into result->node. */
VX_API vx_status vx_graph_node(const vx_graph* graph, uint32_t index, vx_result* result);
/* Writes the edges of a VX_GRAPH_ edge list, in its order, into result->edges. */
VX_API vx_status vx_graph_edges(const vx_graph* graph, uint32_t list, vx_result* result);
/* Writes every edge ending at `port`, in the order given with repeats, into
 * result->edges. */
VX_API vx_status vx_graph_edges_by_head(const vx_graph* graph, const vx_port_ref* port,
                                        vx_result* result);
/* Sets result->found to whether `edge` is one of the graph's dependency edges. */
VX_API vx_status vx_graph_is_dependency_edge(const vx_graph* graph, const vx_edge* edge,
                                             vx_result* result);

/* ---- Records written into a result (and read back by undo) ---- */
enum {
  VX_LOC_NODE = 0,        /* epoch_id */
  VX_LOC_INPUT_PORT = 1,  /* node_name, port_name */
  VX_LOC_OUTPUT_PORT = 2, /* epoch_id, port_name */
  VX_LOC_EDGE = 3,        /* edge */
  VX_LOC_OUTSIDE_NET = 4
};
typedef struct vx_location {
  uint32_t kind;
  vx_id epoch_id;
  vx_str node_name;
  vx_str port_name;
  vx_edge edge;
  /* Written by the simulation: for one of its graph's input ports or edges,
   * a number from 1 that names that place for as long as the simulation
   * lives (one number per place, one place per number); 0 for any other
   * location. Ignored when read. */
  uint32_t place;
} vx_location;

typedef struct vx_salvo_packet {
  vx_str port_name;
  vx_id packet_id;
} vx_salvo_packet;

typedef struct vx_salvo {
  vx_str salvo_condition;
  const vx_salvo_packet* packets;
  size_t packet_count;
} vx_salvo;

typedef struct vx_orphan {
  vx_id packet_id;
  vx_str from_port;
  vx_str salvo_condition;
} vx_orphan;

enum { VX_EPOCH_STARTABLE = 0, VX_EPOCH_RUNNING = 1, VX_EPOCH_FINISHED = 2 };
typedef struct vx_epoch {
  vx_id id;
  vx_str node_name;
  uint32_t state;
  vx_salvo in_salvo;
  const vx_salvo* out_salvos;
  size_t out_salvo_count;
  const vx_orphan* orphaned_packets;
  size_t orphan_count;
} vx_epoch;

enum {
  VX_EV_PACKET_CREATED = 0,            /* id */
  VX_EV_PACKET_CONSUMED = 1,           /* id, location */
  VX_EV_PACKET_DESTROYED = 2,          /* id, location */
  VX_EV_EPOCH_CREATED = 3,             /* id */
  VX_EV_EPOCH_STARTED = 4,             /* id */
  VX_EV_EPOCH_FINISHED = 5,            /* epoch */
  VX_EV_EPOCH_CANCELLED = 6,           /* epoch */
  VX_EV_PACKET_MOVED = 7,              /* id, location (from), to_location, from_index */
  VX_EV_INPUT_SALVO_TRIGGERED = 8,     /* id (epoch), salvo_condition */
  VX_EV_OUTPUT_SALVO_TRIGGERED = 9,    /* id (epoch), salvo_condition */
  VX_EV_PACKET_ORPHANED = 10,          /* id, epoch_id, node_name, port_name, salvo_condition */
  VX_EV_REQUEST_CREATED = 11,          /* node_name, label, source */
  VX_EV_REQUEST_CASCADE_RESOLVED = 12, /* source_nodes, label */
  VX_EV_REQUEST_EPOCH_CREATED = 13     /* id (epoch), node_name, label */
};
enum { VX_SOURCE_EXTERNAL = 0, VX_SOURCE_ON_STARTUP = 1, VX_SOURCE_ON_NO_SALVO_TRIGGERED = 2 };

/* One event. Fields a kind does not use are zero. */
typedef struct vx_event {
  uint32_t kind;
  uint32_t source;   /* VX_SOURCE_ value (REQUEST_CREATED) */
  int64_t timestamp; /* milliseconds since the UNIX epoch */
  vx_id id;          /* the packet or epoch the event is about */
  vx_id epoch_id;    /* PACKET_ORPHANED: the epoch it left */
  vx_location location;
  vx_location to_location;
  uint64_t from_index;
  vx_str node_name;
  vx_str port_name;
  vx_str salvo_condition;
  vx_str label;
  const vx_epoch* epoch;
  const vx_str* source_nodes;
  size_t source_node_count;
} vx_event;

/* Refusals of actions: the engine's error variant. */
enum {
  VX_ERR_NONE = 0,
  VX_ERR_PACKET_NOT_FOUND = 1,                       /* packet_id */
  VX_ERR_EPOCH_NOT_FOUND = 2,                        /* epoch_id */
  VX_ERR_EPOCH_NOT_RUNNING = 3,                      /* epoch_id */
  VX_ERR_EPOCH_NOT_STARTABLE = 4,                    /* epoch_id */
  VX_ERR_CANNOT_FINISH_NON_EMPTY_EPOCH = 5,          /* epoch_id */
  VX_ERR_UNSENT_OUTPUT_SALVO = 6,                    /* epoch_id, port_name */
  VX_ERR_PACKET_NOT_IN_ANY_NODE = 7,                 /* packet_id */
  VX_ERR_OUTPUT_PORT_NOT_FOUND = 8,                  /* port_name, epoch_id */
  VX_ERR_SALVO_CONDITION_NOT_FOUND = 9,              /* condition_name, epoch_id */
  VX_ERR_MAX_SALVOS_EXCEEDED = 10,                   /* condition_name, epoch_id */
  VX_ERR_SALVO_CONDITION_NOT_MET = 11,               /* condition_name, epoch_id */
  VX_ERR_OUTPUT_PORT_FULL = 12,                      /* port_name, epoch_id */
  VX_ERR_NODE_NOT_FOUND = 13,                        /* node_name */
  VX_ERR_PACKET_NOT_AT_INPUT_PORT = 14,              /* packet_id, port_name, node_name */
  VX_ERR_INPUT_PORT_NOT_FOUND = 15,                  /* port_name, node_name */
  VX_ERR_INPUT_PORT_FULL = 16,                       /* port_name, node_name */
  VX_ERR_CANNOT_MOVE_PACKET_FROM_RUNNING_EPOCH = 17, /* packet_id, epoch_id */
  VX_ERR_CANNOT_MOVE_PACKET_INTO_RUNNING_EPOCH = 18, /* packet_id, epoch_id */
  VX_ERR_EDGE_NOT_FOUND = 19,                        /* edge */
  VX_ERR_REQUEST_CYCLE_DETECTED = 20,                /* node_name */
  VX_ERR_REQUEST_UNCONNECTED_PORT = 21,              /* node_name, port_name */
  VX_ERR_REQUEST_NODE_NOT_FOUND = 22                 /* node_name */
};
typedef struct vx_error {
  uint32_t code;
  vx_id packet_id;
  vx_id epoch_id;
  vx_str port_name;
  vx_str node_name;
  vx_str condition_name;
  vx_edge edge;
  vx_str text; /* the engine's own wording, e.g. "epoch not found: 01AR..." */
} vx_error;

enum {
  VX_UNDO_STATE_MISMATCH = 0,
  VX_UNDO_NOT_FOUND = 1,
  VX_UNDO_NOT_UNDOABLE = 2,
  VX_UNDO_INTERNAL = 3
};
typedef struct vx_undo_error {
  uint32_t kind;
  vx_str message; /* the engine's message, without the kind's prefix */
  vx_str text;    /* the engine's whole text, e.g. "state mismatch: ..." */
} vx_undo_error;

enum {
  VX_VAL_MULTIPLE_EDGES_FROM_OUTPUT_PORT = 0,             /* port (output_port), edge_count */
  VX_VAL_EDGE_REFERENCES_NONEXISTENT_NODE = 1,            /* edge, missing_node */
  VX_VAL_EDGE_REFERENCES_NONEXISTENT_PORT = 2,            /* edge, port (missing_port) */
  VX_VAL_EDGE_SOURCE_NOT_OUTPUT_PORT = 3,                 /* edge */
  VX_VAL_EDGE_TARGET_NOT_INPUT_PORT = 4,                  /* edge */
  VX_VAL_SALVO_CONDITION_REFERENCES_NONEXISTENT_PORT = 5, /* node, condition, missing, is_input */
  VX_VAL_SALVO_CONDITION_TERM_REFERENCES_NONEXISTENT_PORT = 6,  /* the same fields */
  VX_VAL_INPUT_SALVO_CONDITION_INVALID_MAX_SALVOS = 7,          /* node, condition, max_salvos */
  VX_VAL_DEPENDENCY_EDGE_NOT_IN_GRAPH = 8,                      /* edge */
  VX_VAL_DEPENDENCY_REQUEST_CONFIG_WITHOUT_DEPENDENCY_EDGES = 9 /* node_name */
};
typedef struct vx_validation_error {
  uint32_t code;
  vx_port_ref port;
  uint64_t edge_count;
  vx_edge edge;
  vx_str missing_node;
  vx_str node_name;
  vx_str condition_name;
  vx_str missing_port;
  int32_t is_input_condition;
  vx_bound max_salvos;
  vx_str kind;    /* the variant's name, e.g. "MultipleEdgesFromOutputPort" */
  vx_str message; /* the one-line message */
} vx_validation_error;

enum {
  VX_RESP_NONE = 0,            /* no action response (queries, undo, run_until_blocked) */
  VX_RESP_STEP_RESULT = 1,     /* made_progress */
  VX_RESP_PACKET = 2,          /* id */
  VX_RESP_CREATED_EPOCH = 3,   /* epoch */
  VX_RESP_STARTED_EPOCH = 4,   /* epoch */
  VX_RESP_FINISHED_EPOCH = 5,  /* epoch */
  VX_RESP_CANCELLED_EPOCH = 6, /* epoch, ids (the destroyed packets) */
  VX_RESP_EMPTY = 7
};

/* Everything a call wrote, read through vx_result_view. Arrays not written
 * by the last call are empty; pointers to absent records are NULL. */
typedef struct vx_view {
  vx_status status;
  uint32_t response;     /* VX_RESP_ value */
  int32_t made_progress; /* STEP_RESULT */
  int32_t found;         /* get_packet / get_epoch: whether it exists; is_dependency_edge */
  vx_id id;              /* PACKET */
  const vx_epoch* epoch; /* the response's epoch, or get_epoch's */
  const vx_id* ids;      /* CANCELLED_EPOCH's destroyed packets, or a query's ids */
  size_t id_count;
  const vx_location* location; /* get_packet: where it is */
  const vx_event* events;      /* also kept beside a refusal of a run step, and when interrupted */
  size_t event_count;
  const vx_error* error;           /* VX_REFUSED by an action */
  const vx_undo_error* undo_error; /* VX_REFUSED by undo */
  const vx_validation_error* validation_errors;
  size_t validation_error_count;
  vx_str message;       /* VX_BAD_INPUT and VX_FAULT: what went wrong */
  const vx_node* node;  /* vx_graph_node's */
  const vx_edge* edges; /* vx_graph_edges' and vx_graph_edges_by_head's */
  size_t edge_count;
} vx_view;

/* The view of what the last call wrote; valid until the next call on it. */
VX_API const vx_view* vx_result_view(const vx_result* result);

/* ---- Simulation ---- */
typedef struct vx_sim vx_sim;

enum {
  VX_ACT_RUN_STEP = 0,
  VX_ACT_CREATE_PACKET = 1,  /* has_epoch, epoch_id: inside that epoch, else outside */
  VX_ACT_CONSUME_PACKET = 2, /* packet_id */
  VX_ACT_DESTROY_PACKET = 3, /* packet_id */
  VX_ACT_START_EPOCH = 4,    /* epoch_id */
  VX_ACT_FINISH_EPOCH = 5,   /* epoch_id */
  VX_ACT_CANCEL_EPOCH = 6,   /* epoch_id */
  VX_ACT_CREATE_EPOCH = 7,   /* node_name, salvo */
  VX_ACT_LOAD_PACKET_INTO_OUTPUT_PORT = 8,  /* packet_id, port_name */
  VX_ACT_SEND_OUTPUT_SALVO = 9,             /* epoch_id, salvo_condition */
  VX_ACT_TRANSPORT_PACKET_TO_LOCATION = 10, /* packet_id, destination */
  VX_ACT_CREATE_REQUEST = 11                /* node_name, label */
};
typedef struct vx_action {
  uint32_t kind;
  int32_t has_epoch;
  vx_id packet_id;
  vx_id epoch_id;
  vx_str node_name;
  vx_str port_name;
  vx_str salvo_condition;
  vx_str label;
  vx_salvo salvo;
  vx_location destination;
} vx_action;

/* A simulation over `graph` (which it retains). An invalid graph is a
 * VX_FAULT whose message lists the validation errors. */
VX_API vx_status vx_sim_new(vx_graph* graph, vx_sim** out, vx_result* result);
VX_API void vx_sim_free(vx_sim* sim); /* NULL is fine */
/* The simulation's graph (borrowed: retain it to keep it past the sim). */
VX_API vx_graph* vx_sim_graph(const vx_sim* sim);
/* The block holding each name of the simulation's graph (node, port and
 * condition names, request labels) once. A name in a record this simulation
 * writes that is one of its graph's points into this block, at the same
 * place every time: such a pointer stays valid, with the same bytes, for as
 * long as the simulation lives, so a binding may key what it made of a name
 * by its address. Any other name is the result's, valid until its next call.
 * The block is the graph's: every simulation over one graph has the same. */
VX_API void vx_sim_names(const vx_sim* sim, const char** first, size_t* size);

/* Does one action: VX_OK with the response and events, or VX_REFUSED with
 * the error (and, for a run step that failed midway, the events it kept). */
VX_API vx_status vx_sim_do(vx_sim* sim, const vx_action* action, vx_result* result);
VX_API int32_t vx_sim_is_blocked(const vx_sim* sim);
/* Asked before the first step, then before a step at most once per
 * millisecond of the wall clock; nonzero stops the run. Must not call into
 * this simulation. NULL means never interrupted. */
typedef int32_t (*vx_interrupt_fn)(void* context);
/* Runs steps until blocked: VX_OK, or VX_INTERRUPTED. Events either way. */
VX_API vx_status vx_sim_run_until_blocked(vx_sim* sim, vx_interrupt_fn interrupted, void* context,
                                          vx_result* result);
/* Reverses `events` (records as written by this interface), last to first:
 * VX_OK, or VX_REFUSED with undo_error. Not transactional. */
VX_API vx_status vx_sim_undo(vx_sim* sim, const vx_action* action, const vx_event* events,
                             size_t event_count, vx_result* result);

/* Queries: found, location. */
VX_API vx_status vx_sim_get_packet(const vx_sim* sim, vx_id id, vx_result* result);
/* found, epoch. */
VX_API vx_status vx_sim_get_epoch(const vx_sim* sim, vx_id id, vx_result* result);
/* The same two queries with the identifier passed by address: for callers
 * whose calls with a struct passed by value are slow (a JIT may compile a
 * pointer-only call to a direct call, and not one that copies a struct). */
VX_API vx_status vx_sim_get_packet_p(const vx_sim* sim, const vx_id* id, vx_result* result);
VX_API vx_status vx_sim_get_epoch_p(const vx_sim* sim, const vx_id* id, vx_result* result);
VX_API vx_status vx_sim_packet_count_at(const vx_sim* sim, const vx_location* location,
                                        uint64_t* count, vx_result* result);
/* ids, in queue order. */
VX_API vx_status vx_sim_packets_at(const vx_sim* sim, const vx_location* location,
                                   vx_result* result);
/* ids, in no particular order. */
VX_API vx_status vx_sim_startable_epochs(const vx_sim* sim, vx_result* result);

#ifdef __cplusplus
}
#endif

#endif /* VORNIX_H */
