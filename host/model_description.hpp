// What a component model offers its users, read from one instance of it: the lines
// "tarnhost info" prints under each model.
#pragma once

#include <string>
#include <vector>

class TARNComponent;
class TARNProperty;

// One line per element, in the order the component made them:
//   input NAME: FILTER                 the static filter's name ("FilterIplImage"), or its bits
//   output NAME: TYPE                  the type's kinds ("IplImage", "Integer32 vector")
//   property NAME: TYPE = DEFAULT[, choices A|B|C][, must be set][, read-only]
//                                      [, changeable while running]
//   action NAME: index N[, allowed at rest]
//                                      N: its position among the actions, which its
//                                      callback is handed; at rest: also while the
//                                      component is not running
// The properties are the model's own, from its tables or its Dynamic(); the standard ones
// every component has and the per-element ones (".fifosize", ...) are left out. Read from
// a fresh instance, every value is the model's default. An instance is needed because a
// component may declare its elements in Dynamic() (the component bases do): its tables
// alone may be empty.
std::vector<std::string> DescribeElements(TARNComponent& component);

// The value of a property as it reads now, in the form HostGraph::Set takes: "true" or
// "false", a whole number, a number (as many digits as tell the double apart), the selected
// value of an enumeration (empty when none is), a text as it is.
std::string PropertyText(TARNProperty& property);
