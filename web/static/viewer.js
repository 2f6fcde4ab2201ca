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
    this.render();
  }

  // Replaces the part on the plate; the camera is fitted only when the model
  // changes, so that turning a parameter keeps the user's view.
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
      if (modelName !== this.framedModel) {
        this.frame(box);
        this.framedModel = modelName;
      }
    }
    this.render();
  }

  frame(box) {
    const size = box.getSize(new THREE.Vector3());
    const radius = Math.max(size.length() / 2, 10);
    const distance = radius / Math.sin(THREE.MathUtils.degToRad(this.camera.fov / 2));
    const target = new THREE.Vector3(0, size.z / 2, 0);
    const direction = new THREE.Vector3(0.55, 0.6, 0.75).normalize();
    this.camera.position.copy(target).addScaledVector(direction, distance);
    this.controls.target.copy(target);
    this.controls.update();
  }

  render() {
    this.renderer.render(this.scene, this.camera);
  }
}
