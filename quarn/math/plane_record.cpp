#include "quarn/gr/grclip.h"
#include "quarn/math/vector.h"

// The corner indices come from the view clipper's box helpers so that every
// box test against a plane record agrees with the clipper's own corner
// numbering.

plane_record::plane_record(uint8_t flag, const vector& p1, const vector& p2, const vector& p3) {
  flags = flag;
  pl.from_points(p1, p2, p3);
  box_plane_corners(pl, corner_against, corner_along);
}

plane_record::plane_record(uint8_t flag, const vector& normal, const vector& point) {
  flags = flag;
  plane::from_normal_point(pl, normal, point);
  box_plane_corners(pl, corner_against, corner_along);
}
