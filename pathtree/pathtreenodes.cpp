#include "pathtree/pathtreenodes.h"

// Out of line so that the owning vectors are destroyed where the node
// classes are complete.
PRPathFileNode::~PRPathFileNode() = default;
PRPathDirNode::~PRPathDirNode() = default;
