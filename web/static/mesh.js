// Turns a "build" answer into a three.js geometry without copying the buffers
// more than the Base64 decoding needs.
import * as THREE from 'three';

function DecodeBase64(text) {
  const binary = atob(text);
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
  return bytes.buffer;
}

// Returns a BufferGeometry holding the answer's positions (and colours when it
// has six properties per vertex) and its triangles, or null for an empty part.
export function GeometryFromAnswer(answer) {
  if (answer.empty) return null;
  const props = new Float32Array(DecodeBase64(answer.vp));
  const indices = new Uint32Array(DecodeBase64(answer.tv));
  if (answer.flipWinding) {
    for (let i = 0; i < indices.length; i += 3) {
      const t = indices[i + 1];
      indices[i + 1] = indices[i + 2];
      indices[i + 2] = t;
    }
  }
  const geometry = new THREE.BufferGeometry();
  // vp holds numProp floats per vertex: x, y, z and, with colours, r, g, b.
  const interleaved = new THREE.InterleavedBuffer(props, answer.numProp);
  geometry.setAttribute('position', new THREE.InterleavedBufferAttribute(interleaved, 3, 0));
  if (answer.numProp >= 6) {
    geometry.setAttribute('color', new THREE.InterleavedBufferAttribute(interleaved, 3, 3));
  }
  geometry.setIndex(new THREE.BufferAttribute(indices, 1));
  geometry.computeBoundingBox();
  return geometry;
}
