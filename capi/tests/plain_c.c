/* Compiled as C99: the header must be plain C, and a C program must be able
 * to build a graph and run a packet through it with nothing but vornix.h. */
#include <string.h>

#include "vornix.h"

static vx_str str(const char* s) {
  vx_str out;
  out.ptr = s;
  out.len = strlen(s);
  return out;
}

/* 0 on success, otherwise the number of the check that failed. */
int vx_plain_c_program(void) {
  int failed = 0;
  uint32_t node = 0;
  vx_bound one = {0, 1};
  vx_term term = {VX_TERM_TRUE, 0, {NULL, 0}, 0, 0};
  vx_port_count all = {{NULL, 0}, 1, 0};
  vx_graph* graph = NULL;
  vx_sim* sim = NULL;
  vx_action action;
  const vx_view* view;
  vx_result* result = vx_result_new();
  vx_builder* b = vx_builder_new();
  if (result == NULL || b == NULL) return 1;
  all.port_name = str("in");
  if (vx_builder_add_node(b, str("B"), &node, result) != VX_OK) failed = 2;
  if (!failed && vx_builder_add_port(b, node, VX_PORT_INPUT, str("in"), one, result) != VX_OK) {
    failed = 3;
  }
  if (!failed && vx_builder_add_salvo_condition(b, node, VX_PORT_INPUT, str("go"), one, &all, 1,
                                                &term, 1, result) != VX_OK) {
    failed = 4;
  }
  if (!failed && vx_builder_finish(b, &graph, result) != VX_OK) failed = 5;
  vx_builder_free(b);
  if (!failed && vx_sim_new(graph, &sim, result) != VX_OK) failed = 6;
  vx_graph_release(graph); /* the simulation holds its own reference */
  if (!failed) {
    memset(&action, 0, sizeof action);
    action.kind = VX_ACT_CREATE_PACKET;
    view = vx_result_view(result);
    if (vx_sim_do(sim, &action, result) != VX_OK || view->response != VX_RESP_PACKET ||
        view->event_count != 1 || view->events[0].kind != VX_EV_PACKET_CREATED) {
      failed = 7;
    }
  }
  vx_sim_free(sim);
  vx_result_free(result);
  return failed;
}
