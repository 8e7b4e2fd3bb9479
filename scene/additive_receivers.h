#pragma once

namespace kwo {

// With texture-additive shadows the engine lights each receiving pass once
// per light through a receiver pass of its own, which copies the pass's
// colours but not its vertex colour tracking: vertex-coloured surfaces would
// be lit as if they were white. This gives every loaded material whose first
// pass tracks vertex colours and that receives shadows a receiver material
// that keeps the tracking (lit by one light, shadow texture modulating it,
// added onto the picture). Materials with a receiver of their own are left
// alone. Call after the media are loaded, only for additive shadows: the
// modulative receiver works differently and needs none of this.
void keepVertexColoursUnderAdditiveShadows();

} // namespace kwo
