// Export settings and the export component.
