// The 3D view: a lit part on a build-plate grid, turned with the mouse.
import * as THREE from 'three';
import { OrbitControls } from 'three/addons/controls/OrbitControls.js';

const PLATE_SIZE = 250;  // millimetres, 10 mm squares

export class Viewer {
  constructor(container) {
    this.container = container;
    // The drawing buffer is kept so that a picture of the canvas can be taken.
    this.renderer = new THREE.WebGLRenderer({ antialias: true, preserveDrawingBuffer: true });
    this.renderer.setPixelRatio(window.devicePixelRatio);
    container.appendChild(this.renderer.domElement);

    this.scene = new THREE.Scene();
    this.scene.background = new THREE.Color(0xe8ecef);
    this.scene.add(new THREE.HemisphereLight(0xffffff, 0x8d8d8d, 1.6));
    const sun = new THREE.DirectionalLight(0xffffff, 2.2);
    sun.position.set(120, 200, 160);
    this.scene.add(sun);
    const grid = new THREE.GridHelper(PLATE_SIZE, PLATE_SIZE / 10, 0x888888, 0xc4c4c4);
    this.scene.add(grid);

    this.camera = new THREE.PerspectiveCamera(40, 1, 0.5, 5000);
    this.camera.position.set(140, 120, 160);
    this.controls = new OrbitControls(this.camera, this.renderer.domElement);
    this.controls.enableDamping = true;
    this.controls.addEventListener('change', () => this.render());

    this.material = new THREE.MeshStandardMaterial({
      vertexColors: true, flatShading: true, roughness: 0.6, metalness: 0.05,
    });
    this.mesh = null;
    this.box = null;  // the part's bounds in model coordinates (Z up)
    this.framedModel = null;

    new ResizeObserver(() => this.resize()).observe(container);
    this.resize();
    const tick = () => {
      if (this.controls.update()) this.render();
      requestAnimationFrame(tick);
    };
    tick();
  }

  resize() {
    const { clientWidth: w, clientHeight: h } = this.container;
    if (!w || !h) return;
    this.renderer.setSize(w, h, false);
    this.camera.aspect = w / h;
    this.camera.updateProjectionMatrix();
    if (this.box && !this.fits()) this.frame(this.box, true);
    this.render();
  }

  // Replaces the part on the plate. A new model is framed from the usual
  // corner; a changed part keeps the user's view unless it no longer fits
  // it (runs off an edge, or shrinks to a small spot), and is then framed
  // again from the direction the user turned the camera to.
  show(geometry, modelName) {
    if (this.mesh) {
      this.scene.remove(this.mesh);
      this.mesh.geometry.dispose();
      this.mesh = null;
    }
    if (geometry) {
      const box = geometry.boundingBox;
      const center = box.getCenter(new THREE.Vector3());
      this.mesh = new THREE.Mesh(geometry, this.material);
      this.material.vertexColors = geometry.hasAttribute('color');
      this.material.needsUpdate = true;
      // Parts are modelled with Z up; the plate is three.js's XZ plane.
      this.mesh.rotation.x = -Math.PI / 2;
      this.mesh.position.set(-center.x, -box.min.z, center.y);
      this.scene.add(this.mesh);
      this.box = box.clone();
      if (modelName !== this.framedModel) {
        this.frame(box, false);
        this.framedModel = modelName;
      } else if (!this.fits()) {
        this.frame(box, true);
      }
    } else {
      this.box = null;
    }
    this.render();
  }

  // Frames the part shown now from the direction the camera looks from.
  fit() {
    if (!this.box) return;
    this.frame(this.box, true);
    this.render();
  }

  // Returns the rectangle (normalised device coordinates, -1..1) that the
  // corners of the part's bounds cover on screen.
  screenBounds() {
    this.mesh.updateMatrixWorld();
    this.camera.updateMatrixWorld();
    const { min, max } = this.box;
    const bounds = { left: Infinity, right: -Infinity, bottom: Infinity, top: -Infinity };
    for (const x of [min.x, max.x]) {
      for (const y of [min.y, max.y]) {
        for (const z of [min.z, max.z]) {
          const p = new THREE.Vector3(x, y, z).applyMatrix4(this.mesh.matrixWorld).project(this.camera);
          bounds.left = Math.min(bounds.left, p.x);
          bounds.right = Math.max(bounds.right, p.x);
          bounds.bottom = Math.min(bounds.bottom, p.y);
          bounds.top = Math.max(bounds.top, p.y);
        }
      }
    }
    return bounds;
  }

  // True when the whole part is on screen and covers more than a fifth of
  // the view one way or the other.
  fits() {
    if (!this.mesh || !this.box) return true;
    const b = this.screenBounds();
    const inside = b.left >= -1 && b.right <= 1 && b.bottom >= -1 && b.top <= 1;
    const large = b.right - b.left > 0.4 || b.top - b.bottom > 0.4;
    return inside && large;
  }

  // Puts the camera where the part's bounding sphere fills the narrower of
  // the view's two angles, looking at its middle: from the usual corner, or
  // (keepDirection) from where the camera looks now.
  frame(box, keepDirection) {
    const size = box.getSize(new THREE.Vector3());
    const radius = Math.max(size.length() / 2, 10);
    const halfHeight = THREE.MathUtils.degToRad(this.camera.fov / 2);
    const halfWidth = Math.atan(Math.tan(halfHeight) * this.camera.aspect);
    const distance = (1.05 * radius) / Math.sin(Math.min(halfHeight, halfWidth));
    const target = new THREE.Vector3(0, size.z / 2, 0);
    const direction = keepDirection
      ? this.camera.position.clone().sub(this.controls.target).normalize()
      : new THREE.Vector3(0.55, 0.6, 0.75).normalize();
    this.camera.position.copy(target).addScaledVector(direction, distance);
    this.camera.far = Math.max(5000, distance * 4);
    this.camera.updateProjectionMatrix();
    this.controls.target.copy(target);
    this.controls.update();
  }

  render() {
    this.renderer.render(this.scene, this.camera);
  }
}
