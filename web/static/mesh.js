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
    // The answer's colours are sRGB, the renderer shades in linear light.
    const count = props.length / answer.numProp;
    const colors = new Float32Array(count * 3);
    const color = new THREE.Color();
    for (let v = 0; v < count; v++) {
      const at = v * answer.numProp + 3;
      color.setRGB(props[at], props[at + 1], props[at + 2], THREE.SRGBColorSpace);
      colors[v * 3] = color.r;
      colors[v * 3 + 1] = color.g;
      colors[v * 3 + 2] = color.b;
    }
    geometry.setAttribute('color', new THREE.BufferAttribute(colors, 3));
  }
  geometry.setIndex(new THREE.BufferAttribute(indices, 1));
  geometry.computeBoundingBox();
  return geometry;
}
